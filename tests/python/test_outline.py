"""Outlines through analyze_json, from JSON text to the returned str."""

import pytest

from small_stack import run_on_small_stack

from plomet import analyze_json

DEPTH_LIMIT = 1024


def lines(*parts):
    return "\n".join(parts)


OUTLINES = [
    # (input, outline with examples, outline without examples)
    ('{"a": [1, 2',
     lines("{", '  "a": [', "    1, 2", "  ]", "}"),
     lines("{", '  "a": [', "    int", "  ]", "}")),
    ("", lines("{", "}"), lines("{", "}")),
    ("{}", lines("{", "}"), lines("{", "}")),
    ("5", "  5", "  int"),
    ("[]", lines("  [", "    null", "  ]"), lines("  [", "    null", "  ]")),
    ('{"id": 7, "name": "text", "list": ["x"], "info": {"ok": true}}',
     lines("{", '  "id": 7,', '  "name": "text",', '  "list": [', '    "x"', "  ],",
           '  "info": {', '    "ok": true', "  }", "}"),
     lines("{", '  "id": int,', '  "name": str,', '  "list": [', "    str", "  ],",
           '  "info": {', '    "ok": bool', "  }", "}")),
    ('[{"a": null}, {"a": null}]',
     lines("  [", "    {", '      "a": null', "    },", "  ...  // 2 items", "  ]"),
     lines("  [", "    {", '      "a": null', "    }", "  ]")),
    ('[{"a": null}]',
     lines("  [", "    {", '      "a": null', "    }", "  ]"),
     lines("  [", "    {", '      "a": null', "    }", "  ]")),
    ('{"users": [{"name": "n", "address": {"city": "c"}}, {"name": "m"}, {"name": "o"}]}',
     lines("{", '  "users": [', "    {", '      "name": "n",', '      "address"?: {',
           '        "city": "c"', "      }", "    },", "  ...  // 3 items", "  ]", "}"),
     lines("{", '  "users": [', "    {", '      "name": str,', '      "address"?: {',
           '        "city": str', "      }", "    }", "  ]", "}")),
    ('{"m": [[1, 2]]}',
     lines("{", '  "m": [', "    [", "      1, 2", "    ]", "  ]", "}"),
     lines("{", '  "m": [', "    [", "      int", "    ]", "  ]", "}")),
    ('{"id": 7, "name": "text", "list": ["x", "y", "x"], "users": [{"a": 1, "b": true}, {"a": 2}]}',
     lines("{", '  "id": 7,', '  "name": "text",', '  "list": [', '    "x", "y"', "  ],",
           '  "users": [', "    {", '      "a": 1,', '      "b"?: true', "    },",
           "  ...  // 2 items", "  ]", "}"),
     lines("{", '  "id": int,', '  "name": str,', '  "list": [', "    str", "  ],",
           '  "users": [', "    {", '      "a": int,', '      "b"?: bool', "    }", "  ]", "}")),
    ("[{}, {}]",
     lines("  [", "    {", "    },", "  ...  // 2 items", "  ]"),
     lines("  [", "    {", "    }", "  ]")),
    ("[[]]",
     lines("  [", "    [", "      null", "    ]", "  ]"),
     lines("  [", "    [", "      null", "    ]", "  ]")),
    # Keys are escaped, string examples are not; a line feed in an example breaks the line.
    ('{"k\\"ey": "a\\nb", "q": "\\""}',
     lines("{", '  "k\\"ey": "a', 'b",', '  "q": """', "}"),
     lines("{", '  "k\\"ey": str,', '  "q": str', "}")),
    # A str outside the ASCII range is handed over as UTF-8 and comes back unchanged.
    ('{"clé": ["été", "日本"]}',
     lines("{", '  "clé": [', '    "été", "日本"', "  ]", "}"),
     lines("{", '  "clé": [', "    str", "  ]", "}")),
]


@pytest.mark.parametrize("text, with_examples, without_examples", OUTLINES)
def test_outline(text, with_examples, without_examples):
    assert analyze_json(text) == with_examples
    assert analyze_json(text, True) == with_examples
    assert analyze_json(text, show_examples=False) == without_examples




def nested_arrays_outline(depth):
    opening = ["  " * level + "[" for level in range(1, depth + 1)]
    closing = ["  " * level + "]" for level in range(depth, 0, -1)]
    return "\n".join(opening + ["  " * depth + "  1"] + closing)


def nested_objects_outline(depth):
    opening = ["{"] + ["  " * level + '"a": {' for level in range(1, depth)]
    closing = ["  " * level + "}" for level in range(depth - 1, -1, -1)]
    return "\n".join(opening + ["  " * depth + '"a": 1'] + closing)


@pytest.mark.parametrize(
    "opener, closer, outline",
    [("[", "]", nested_arrays_outline), ('{"a":', "}", nested_objects_outline)],
)
def test_deepest_nesting_on_a_small_stack_thread(opener, closer, outline):
    deepest = opener * DEPTH_LIMIT + "1" + closer * DEPTH_LIMIT
    assert run_on_small_stack(lambda: analyze_json(deepest)) == outline(DEPTH_LIMIT)
    too_deep = opener * (DEPTH_LIMIT + 1) + "1" + closer * (DEPTH_LIMIT + 1)
    with pytest.raises(ValueError, match="^Failed to parse or repair JSON: "):
        run_on_small_stack(lambda: analyze_json(too_deep))


def test_nesting_helpers_match_small_outlines():
    assert nested_arrays_outline(2) == analyze_json("[[1]]")
    assert nested_objects_outline(2) == analyze_json('{"a": {"a": 1}}')
