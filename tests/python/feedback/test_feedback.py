"""FeedbackEvent and FeedbackAggregator: values, summaries, files and the default store."""
import inspect
import json
import pathlib

import pytest

import vantorel as vt
from conftest import seconds_to_interrupt

EVENT_KEYS = ["corpus_id", "query_id", "score", "timestamp"]


def aggregator(*events):
    g = vt.FeedbackAggregator()
    for corpus_id, score in events:
        g.record(vt.FeedbackEvent(corpus_id, "q", score, "1"))
    return g


def store_file(home):
    return home / ".vantorel" / "feedback_events.json"


class TestEvent:
    def test_fields_timestamp_and_repr(self):
        for e in (vt.FeedbackEvent("c1", "q1", 0.5), vt.FeedbackEvent("c1", "q1", 0.5, None)):
            assert e.timestamp.isdigit()
        e = vt.FeedbackEvent(corpus_id="c1", query_id="q1", score=7, timestamp="t")
        assert (e.corpus_id, e.query_id, e.score, e.timestamp) == ("c1", "q1", 7.0, "t")
        assert repr(vt.FeedbackEvent("c1", "q1", 0.5)) == 'FeedbackEvent(corpus_id="c1", query_id="q1", score=0.5000)'
        assert repr(vt.FeedbackEvent('a"\\\n', "q", 1.23456)) == (
            'FeedbackEvent(corpus_id="a\\"\\\\\\n", query_id="q", score=1.2346)')
        assert repr(vt.FeedbackEvent("c", "q", float("nan"))).endswith("score=NaN)")
        d = vt.FeedbackEvent("c1", "q1", 0.5, "1").to_dict()
        assert list(d) == EVENT_KEYS and d == {"corpus_id": "c1", "query_id": "q1", "score": 0.5, "timestamp": "1"}
        with pytest.raises(AttributeError):
            e.corpus_id = "x"

    def test_argument_errors_name_the_parameter(self):
        for args, name in [((1, "q", 0.5), "corpus_id"), (("c", "q", "s"), "score"), (("c", "q", 0.5, 3), "timestamp")]:
            with pytest.raises(TypeError, match=f"^argument '{name}': "):
                vt.FeedbackEvent(*args)
        with pytest.raises(TypeError, match="missing 1 required positional argument: 'score'"):
            vt.FeedbackEvent("c", "q")


class TestAggregator:
    def test_empty(self):
        g = vt.FeedbackAggregator()
        assert (len(g), bool(g), repr(g)) == (0, False, "FeedbackAggregator(events=0)")
        assert (g.summarize("c1"), g.summarize_all(), g.corpus_ids()) == (None, [], [])

    def test_summaries_clamp_and_order_bytewise(self):
        g = aggregator(("b", 0.2), ("a", 0.4), ("ab", 0.9), ("B", 1.5), ("b", -0.5), ("b", 0.9))
        assert (len(g), bool(g), repr(g)) == (6, True, "FeedbackAggregator(events=6)")
        assert g.corpus_ids() == ["B", "a", "ab", "b"]
        b = g.summarize("b")
        assert list(b) == ["corpus_id", "n_events", "mean_score", "min_score", "max_score"]
        assert b == {"corpus_id": "b", "n_events": 3, "mean_score": pytest.approx(1.1 / 3), "min_score": 0.0,
                     "max_score": 0.9}
        assert [s["corpus_id"] for s in g.summarize_all()] == g.corpus_ids()
        assert g.summarize_all()[0] == {"corpus_id": "B", "n_events": 1, "mean_score": 1.0, "min_score": 1.0,
                                        "max_score": 1.0}
        assert aggregator(("c", 0.2), ("c", 0.4), ("c", 0.9)).summarize("c")["mean_score"] == pytest.approx(0.5)

    def test_record_refuses_other_objects(self):
        g = aggregator(("c", 0.5))
        with pytest.raises(TypeError) as info:
            g.record({"corpus_id": "c1"})
        assert str(info.value) == "argument 'event': 'dict' object is not an instance of 'FeedbackEvent'"
        assert len(g) == 1

    def test_save_load_round_trip(self, tmp_path):
        p = tmp_path / "sub" / "events.json"
        vt.FeedbackAggregator().save(str(p))
        assert p.read_text() == "[]" and len(vt.FeedbackAggregator.load(str(p))) == 0
        events = [vt.FeedbackEvent(c, f"q{i}", s, str(i)) for i, (c, s) in enumerate(
            [("x", 0.1), ("y", 1.7), ("x", -0.2), ("é", 0.25)])]
        g = vt.FeedbackAggregator()
        for e in events:
            g.record(e)
        g.save(str(p))
        assert json.loads(p.read_text()) == [e.to_dict() for e in events]
        assert p.read_text().startswith('[\n  {\n    "corpus_id": "x",\n')
        back = vt.FeedbackAggregator.load(str(p))
        assert (len(back), back.summarize_all()) == (len(g), g.summarize_all())
        back.save(str(p))
        assert json.loads(p.read_text()) == [e.to_dict() for e in events]

    def test_load_lines_with_blanks_and_crlf(self, tmp_path):
        p = tmp_path / "events.json"
        lines = [json.dumps(vt.FeedbackEvent("c", f"q{i}", 0.5, "1").to_dict()) for i in range(2)]
        p.write_bytes(("\r\n" + lines[0] + "\r\n\r\n  \n" + lines[1]).encode())
        assert len(vt.FeedbackAggregator.load(str(p))) == 2
        assert len(vt.FeedbackAggregator.load(str(tmp_path / "missing.json"))) == 0

    def test_file_faults(self, tmp_path):
        p = tmp_path / "events.json"
        g = aggregator(("c", 0.5))
        g.save(str(p))
        before = p.read_bytes()
        with pytest.raises(ValueError, match=r"^failed to save: "):
            aggregator(("c", 0.5), ("c", float("nan"))).save(str(p))
        assert p.read_bytes() == before
        with pytest.raises(ValueError, match=r"^failed to load: "):
            vt.FeedbackAggregator.load(str(tmp_path))
        p.write_text('{"corpus_id": "c", "query_id": "q", "score": 0.5}\n')
        with pytest.raises(ValueError, match=r"^failed to load: .*timestamp"):
            vt.FeedbackAggregator.load(str(p))
        # Cut at the NUL, the path would name the file written above.
        before = p.read_bytes()
        with pytest.raises(ValueError, match=r"^failed to save: .*NUL"):
            g.save(str(p) + "\0x")
        with pytest.raises(ValueError, match=r"^failed to load: .*NUL"):
            vt.FeedbackAggregator.load(str(p) + "\0x")
        assert p.read_bytes() == before
        with pytest.raises(TypeError, match="^argument 'path': "):
            vt.FeedbackAggregator.load(pathlib.Path(p))
        with pytest.raises(TypeError, match="^argument 'path': "):
            g.save(pathlib.Path(p))

    def test_ctrl_c_stops_long_loads_and_saves_and_changes_nothing(self, tmp_path):
        p = tmp_path / "events.json"
        line = json.dumps(vt.FeedbackEvent("c", "q", 0.5, "1").to_dict(), separators=(",", ":"))
        lines = (line + "\n") * 1_500_000
        p.write_text(lines)
        assert seconds_to_interrupt(lambda: vt.FeedbackAggregator.load(str(p)), 0.05) < 0.5
        g = vt.FeedbackAggregator.load(str(p))
        # Neither the new directory nor the old file is touched.
        for target in (tmp_path / "new" / "events.json", p):
            assert seconds_to_interrupt(lambda: g.save(str(target)), 0.05) < 0.5
        assert list(tmp_path.iterdir()) == [p]
        assert p.read_text() == lines


class TestDefaultStore:
    def test_append_and_load_default(self, home):
        assert len(vt.FeedbackAggregator.load_default()) == 0
        events = [vt.FeedbackEvent("c1", "q1", 0.2, "5"), vt.FeedbackEvent("c2", "q2", 1.7)]
        paths = {e.append_to_default_store() for e in events}
        assert paths == {str(store_file(home))}
        lines = store_file(home).read_text().splitlines()
        assert [json.loads(line) for line in lines] == [e.to_dict() for e in events]
        g = vt.FeedbackAggregator.load_default()
        assert g.corpus_ids() == ["c1", "c2"] and g.summarize("c2")["max_score"] == 1.0

    def test_faults(self, home, monkeypatch):
        vt.FeedbackEvent("c", "q", 0.5).append_to_default_store()
        before = store_file(home).read_bytes()
        for score in (float("nan"), float("-inf")):
            with pytest.raises(ValueError, match=r"^failed to append event: "):
                vt.FeedbackEvent("c", "q", score).append_to_default_store()
        assert store_file(home).read_bytes() == before
        monkeypatch.delenv("HOME")
        with pytest.raises(ValueError) as info:
            vt.FeedbackEvent("c", "q", 0.5).append_to_default_store()
        assert str(info.value) == "failed to append event: neither HOME nor USERPROFILE is set"
        with pytest.raises(ValueError) as info:
            vt.FeedbackAggregator.load_default()
        assert str(info.value) == "failed to load default store: neither HOME nor USERPROFILE is set"


def test_signatures_and_docstrings():
    expected = {
        vt.FeedbackEvent: "(corpus_id, query_id, score, timestamp=None)",
        vt.FeedbackEvent.to_dict: "(self, /)",
        vt.FeedbackEvent.append_to_default_store: "(self, /)",
        vt.FeedbackAggregator: "()",
        vt.FeedbackAggregator.load: "(path)",
        vt.FeedbackAggregator.load_default: "()",
        vt.FeedbackAggregator.save: "(self, /, path)",
        vt.FeedbackAggregator.record: "(self, /, event)",
        vt.FeedbackAggregator.corpus_ids: "(self, /)",
        vt.FeedbackAggregator.summarize: "(self, /, corpus_id)",
        vt.FeedbackAggregator.summarize_all: "(self, /)",
    }
    for obj, sig in expected.items():
        assert str(inspect.signature(obj)) == sig
    for obj in (vt.FeedbackEvent.to_dict, vt.FeedbackAggregator.save, vt.FeedbackAggregator.record,
                vt.FeedbackAggregator.corpus_ids):
        assert obj.__doc__ is None
    assert "clamp" in vt.FeedbackEvent.__doc__ and "[0, 1]" in vt.FeedbackEvent.__doc__
    assert "~/.vantorel/feedback_events.json" in vt.FeedbackEvent.append_to_default_store.__doc__
    assert "corpus_id" in vt.FeedbackAggregator.__doc__
    assert "None" in vt.FeedbackAggregator.summarize.__doc__
