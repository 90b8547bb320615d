"""Reading a written sphere page back: its data object and its raw data text."""
import json
import re

_DATA = re.compile(r"const D = (.*?);\n", re.S)


def data_text(html: str) -> str:
    return _DATA.search(html).group(1)


def page_data(path) -> dict:
    with open(path, encoding="utf-8") as f:
        return json.loads(data_text(f.read()))
