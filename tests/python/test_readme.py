"""Every Python block of the README runs and prints exactly what it shows (messages included)."""

import doctest
import pathlib
import re

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"


def test_readme_examples():
    blocks = re.findall(r"```python\n(.*?)```", README.read_text(), re.S)
    assert blocks, "the README has no Python examples"
    parser = doctest.DocTestParser()
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE)
    # One doctest over all blocks, so names defined early stay visible in later blocks.
    test = parser.get_doctest("\n".join(blocks), {}, "README", str(README), 0)
    result = runner.run(test)
    assert result.failed == 0, f"{result.failed} README examples failed (see the output above)"
