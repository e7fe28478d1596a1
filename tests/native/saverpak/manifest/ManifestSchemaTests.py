"""The manifest's JSON Schema, as editors use it: every example manifest in the tree (the demo's,
the fuzz seeds', the author's guide's) passes, and what the tool refuses for its shape (an unknown key,
a wrong type, a version that is no version) is refused.
   python3 ManifestSchemaTests.py SOURCE-ROOT"""
import json
import re
import sys
import tomllib
from pathlib import Path

import jsonschema

root = Path(sys.argv[1])
schema = json.loads((root / "saverpak-manifest.schema.json").read_text())
jsonschema.Draft7Validator.check_schema(schema)
validator = jsonschema.Draft7Validator(schema)
failures = []

examples = {p.relative_to(root).as_posix(): p.read_text() for p in
            [root / "demo/Snowfall.toml", root / "demo/Pictures.toml", *sorted((root / "fuzz/package/seeds").glob("*.toml"))]}
guide = (root / "docs/GUIDE.md").read_text()
# Every manifest the guide shows: its walk-through's pieces, the slideshow's and the full one.
for number, text in enumerate(re.findall(r"```toml\n(.*?)```", guide, re.S)):
    examples[f"docs/GUIDE.md example {number + 1}"] = text
for name, text in examples.items():
    for error in validator.iter_errors(tomllib.loads(text)):
        failures.append(f"{name} is refused: {error.message} at {list(error.path)}")

refused = {
    "an unknown top-level key": 'stub = "x"',
    "an unknown [saver] key": '[saver]\nnmae = "x"',
    "a misspelt module key": '[[module]]\nfile = "a.exe"\nforce-maximise = true',
    "a name that is no string": "[saver]\nname = 1",
    "an empty name": '[saver]\nname = ""',
    "a control character": '[saver]\ndescription = "a\\tb"',
    "a version of two parts": '[saver]\nversion = "1.2"',
    "a version that is a number": "[saver]\nversion = 1.2",
    "music that is no boolean": "[settings]\nmusic = 2",
    "a key code out of range": '[[key]]\nkey = 300\nfunction = "shell-execute"',
    "an unknown key function": '[[key]]\nkey = "F1"\nfunction = "run"',
    "a picture without a file": "[[picture]]\n",
    "a module table written once": '[module]\nfile = "a.exe"',
    "a slideshow without pictures": '[slideshow]\npictures = []',
    "a slideshow changing every second": '[slideshow]\npictures = ["a"]\nseconds = 1',
    "a slideshow order of its own": '[slideshow]\npictures = ["a"]\norder = "random"',
}
for what, text in refused.items():
    if validator.is_valid(tomllib.loads(text)):
        failures.append(f"{what} is accepted: {text!r}")

for failure in failures:
    print("FAIL:", failure)
print(f"schema: {len(examples)} examples, {len(refused)} refusals, {len(failures)} failures")
sys.exit(1 if failures else 0)
