"""The image checksum build writes, against pefile's own computation (Debian's python3-pefile):
for a plain saver and a branded one, around modules of odd and even length and one large enough
for the bulk of the sum.
   python3 ImageChecksumTests.py TOOL STUB ICON WORK"""
import os
import random
import shutil
import subprocess
import sys
from pathlib import Path

import pefile

tool, stub, icon, work = sys.argv[1], sys.argv[2], sys.argv[3], Path(sys.argv[4])
shutil.rmtree(work, ignore_errors=True)
work.mkdir(parents=True)
shutil.copy(icon, work / "saver.ico")
rng = random.Random(1)
for name, size in [("odd.exe", 1001), ("large.exe", 3 * 65536 + 7)]:
    (work / name).write_bytes(b"MZ" + bytes(rng.randrange(256) for _ in range(size - 2)))
modules = '[[module]]\nfile = "odd.exe"\nname = "odd.exe"\n' \
          '[[module]]\nfile = "large.exe"\nname = "large.exe"\n'
(work / "plain.toml").write_text(modules)
(work / "branded.toml").write_text(
    '[saver]\nname = "Checksum"\nversion = "1.2.3"\nicon = "saver.ico"\n' + modules)

failures = []
for manifest in ["plain", "branded"]:
    saver = work / f"{manifest}.scr"
    subprocess.run([tool, "build", "--stub", stub, "--manifest", work / f"{manifest}.toml",
                    "-o", saver], check=True, capture_output=True)
    image = pefile.PE(str(saver), fast_load=True)
    stored, computed = image.OPTIONAL_HEADER.CheckSum, image.generate_checksum()
    if stored != computed:
        failures.append(f"{manifest}: stored {stored:#010x}, pefile computes {computed:#010x}")
print("\n".join(failures) or "both checksums agree with pefile's")
sys.exit(1 if failures else 0)
