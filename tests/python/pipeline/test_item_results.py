"""Item result classes: JSON round trips, tolerant reading, reprs and equality."""
import importlib.util
import json
import sys
import unicodedata
from collections import defaultdict
from pathlib import Path

import pytest

import vantorel as vt

HIT = {"id": "s-0001", "category": 'say "hi"\n', "distance": 0.5, "certainty": 1, "intensity": 2.25}


class TestJson:
    def test_round_trips(self):
        hit = vt.NearestHit.from_json(json.dumps(HIT))
        assert vt.NearestHit.from_json(hit.to_json()) == hit
        assert hit.to_json() == ('{"category":"say \\"hi\\"\\n","certainty":1.0,"distance":0.5,'
                                 '"id":"s-0001","intensity":2.25}')
        step = vt.PathStep.from_json('{"id":"a","category":"c","cumulative_distance":1.5,"hop_distance":0.5,'
                                     '"bridge_strength":0.25}')
        assert vt.PathStep.from_json(step.to_json()) == step
        glob = vt.GlobInfo.from_json('{"id":2,"centroid":[0,0.5,1],"member_count":7,"radius":0.125,'
                                     '"top_categories":[["a",4],["b",3]]}')
        assert glob.to_json() == ('{"centroid":[0.0,0.5,1.0],"id":2,"member_count":7,"radius":0.125,'
                                  '"top_categories":[["a",4],["b",3]]}')
        assert vt.GlobInfo.from_json(glob.to_json()) == glob
        manifold = vt.ManifoldInfo.from_json('{"centroid":[1,2,3],"normal":[0,0,1],"variance_ratio":0.75}')
        assert vt.ManifoldInfo.from_json(manifold.to_json()) == manifold

    def test_path_json_drops_hop_and_bridge(self):
        path = vt.PathResult.from_json('{"steps":[{"id":"a","category":"x","cumulative_distance":0,"hop_distance":2,'
                                       '"bridge_strength":1}],"total_distance":2}')
        assert path.steps[0].hop_distance == 2.0 and path.steps[0].bridge_strength == 1.0
        assert path.to_json() == '{"steps":[{"category":"x","cumulative_distance":0.0,"id":"a"}],"total_distance":2.0}'
        back = vt.PathResult.from_json(path.to_json())
        assert back != path and back.steps[0].hop_distance == 0.0 and back.steps[0].bridge_strength is None

    def test_tolerant_reading(self):
        for text in ("{}", "[]", "null", '{"id": 5, "distance": "far"}'):
            hit = vt.NearestHit.from_json(text)
            assert (hit.id, hit.category, hit.distance, hit.certainty, hit.intensity) == ("", "", 0.0, 0.0, 0.0)
        assert repr(vt.NearestHit.from_json("{}")) == 'NearestHit(id="", category="", distance=0.0000)'
        for value in ("null", '"x"', "true"):
            assert vt.PathStep.from_json('{"bridge_strength": %s}' % value).bridge_strength is None
        assert vt.PathStep.from_json('{}').bridge_strength is None
        assert vt.PathStep.from_json('{"bridge_strength": 1}').bridge_strength == 1.0
        for bad_id in ("3.0", "-3", "1e2", "18446744073709551616"):
            assert vt.GlobInfo.from_json('{"id": %s}' % bad_id).id == 0
        assert vt.GlobInfo.from_json('{"id": 18446744073709551615}').id == 2 ** 64 - 1
        assert vt.GlobInfo.from_json('{"centroid": [1, 2]}').centroid == [0.0, 0.0, 0.0]
        assert vt.GlobInfo.from_json('{"centroid": [1, "x", 3, 4]}').centroid == [1.0, 0.0, 3.0]
        top = '[["a", 2], ["b"], [3, 4], ["c", -1], ["d", 1.5], ["e", 5, "extra"], "f"]'
        assert vt.GlobInfo.from_json('{"top_categories": %s}' % top).top_categories == [("a", 2), ("e", 5)]
        assert vt.NearestHit.from_json('{"id": "a", "id": "b"}').id == "b"
        # "-0" is an integer as written: a count of 0, not the float -0.0.
        minus_zero = vt.GlobInfo.from_json('{"id": -0, "top_categories": [["a", -0], ["b", -0.0]]}')
        assert minus_zero.top_categories == [("a", 0)] and minus_zero.id == 0
        empty = vt.PathResult.from_json('{"steps": []}')
        assert repr(empty) == "PathResult(steps=0, total_distance=0.0000)"

    def test_long_objects(self):
        keys = {f"k{i}": [i, {"x": i}] for i in range(100_000)}
        text = json.dumps({"radius": "no", **keys, "member_count": 4})[:-1] + ', "radius": 0.5}'
        glob = vt.GlobInfo.from_json(text)
        assert (glob.member_count, glob.radius) == (4, 0.5)
        with pytest.raises(ValueError, match=r"^trailing comma at line 1 column \d+$"):
            vt.GlobInfo.from_json(text[:-1] + ",}")

    @pytest.mark.parametrize("text,message", [
        ("", "EOF while parsing a value at line 1 column 0"),
        ("{} x", "trailing characters at line 1 column 4"),
        ('{"a":\n  1e400}', "number out of range at line 2 column 7"),
        # Members that no field reads are checked as strictly as the rest.
        ('{"id": "a", "x": [1, {"y": "\\udc00"}]}', "lone leading surrogate in hex escape at line 1 column 34"),
    ])
    def test_parse_errors(self, text, message):
        with pytest.raises(ValueError) as info:
            vt.NearestHit.from_json(text)
        assert str(info.value) == message

    def test_argument_and_steps_errors(self):
        with pytest.raises(TypeError, match="^argument 'json': "):
            vt.NearestHit.from_json(b"{}")
        with pytest.raises(TypeError):
            vt.NearestHit.from_json()
        for text in ("{}", '{"steps": {}}', "[]"):
            with pytest.raises(ValueError, match="^missing 'steps' array$"):
                vt.PathResult.from_json(text)
        hit = vt.NearestHit.from_json("{}")
        assert hit.from_json('{"id": "z"}').id == "z"  # callable on an instance


class TestValueSemantics:
    def test_equality_and_hash(self):
        hit = vt.NearestHit.from_json(json.dumps(HIT))
        assert (hit == "s-0001") is False and (hit != "s-0001") is True
        huge = vt.NearestHit.from_json('{"distance": 1e308, "certainty": 5e-324}')
        assert huge == vt.NearestHit.from_json(huge.to_json())
        with pytest.raises(TypeError):
            hit < hit
        with pytest.raises(TypeError):
            hash(hit)
        assert vt.GlobInfo.from_json("{}") != vt.ManifoldInfo.from_json("{}")

    def test_lists_are_fresh_copies(self):
        glob = vt.GlobInfo.from_json('{"centroid": [1, 2, 3]}')
        glob.centroid.append(4.0)
        assert glob.centroid == [1.0, 2.0, 3.0]
        path = vt.PathResult.from_json('{"steps": [{"id": "a"}]}')
        assert path.steps[0] is not path.steps[0] and path.steps[0] == path.steps[0]
        with pytest.raises(AttributeError):
            glob.radius = 1.0

    def test_reprs_quote_strings(self):
        step = vt.PathStep.from_json('{"id": "it\'s", "category": "tab\\there", "hop_distance": -0.0}')
        assert repr(step) == 'PathStep(id="it\'s", category="tab\\there", cumulative_distance=0.0000, hop=-0.0000)'
        assert str(vt.GlobInfo.from_json('{"id": 3, "member_count": 9, "radius": 0.123456}')) == \
            "GlobInfo(id=3, members=9, radius=0.1235)"
        assert repr(vt.ManifoldInfo.from_json('{"variance_ratio": 0.99995}')) == "ManifoldInfo(variance_ratio=1.0000)"


def unicode_table_source():
    path = Path(__file__).resolve().parents[3] / "scripts" / "generate_unicode_escapes.py"
    spec = importlib.util.spec_from_file_location("generate_unicode_escapes", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class TestQuotedForm:
    SHORT = {'"': '\\"', "\\": "\\\\", "\t": "\\t", "\r": "\\r", "\n": "\\n", "\0": "\\0"}
    ESCAPED = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs", "Mn", "Me"}

    def quoted(self, text, extend):
        out = []
        for ch in text:
            if ch in self.SHORT:
                out.append(self.SHORT[ch])
            elif ch != " " and (unicodedata.category(ch) in self.ESCAPED or ord(ch) in extend):
                out.append("\\u{%x}" % ord(ch))
            else:
                out.append(ch)
        return '"' + "".join(out) + '"'

    def test_issue_example(self):
        hit = vt.NearestHit.from_json('{"id":"e\\u0301\\u00a0\\u3000\\u0378\\u0600"}')
        assert repr(hit) == 'NearestHit(id="e\\u{301}\\u{a0}\\u{3000}\\u{378}\\u{600}", category="", distance=0.0000)'

    def test_every_code_point_by_category(self):
        table = unicode_table_source()
        if unicodedata.unidata_version != table.UNICODE_VERSION:
            pytest.skip(f"table made from Unicode {table.UNICODE_VERSION}, interpreter has {unicodedata.unidata_version}")
        extend = {cp for first, last in table.OTHER_GRAPHEME_EXTEND for cp in range(first, last + 1)}
        groups = defaultdict(list)
        for cp in range(sys.maxunicode + 1):
            if not 0xD800 <= cp <= 0xDFFF:
                groups[unicodedata.category(chr(cp))].append(chr(cp))
        for category, chars in sorted(groups.items()):
            text = "".join(chars)
            hit = vt.NearestHit.from_json(json.dumps({"category": text}))
            assert repr(hit) == f'NearestHit(id="", category={self.quoted(text, extend)}, distance=0.0000)', category
