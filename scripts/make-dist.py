#!/usr/bin/env python3
"""Makes the release archives in build/dist from the native and windows builds:

  saverpak-VERSION-windows-x64.zip   saverpak.exe, the saver stub Saverpak.scr and the slideshow
                                     module Slideshow.exe, the licence notices of what is linked
                                     in, the demo as an example
  saverpak-VERSION-linux-x64.tar.gz  the tool (libjpeg, libpng, zlib and the C++ runtime linked
                                     in) with its man page, Saverpak.scr, Slideshow.exe, the
                                     licence notices, the example
  (both)                             README.md: the author's guide docs/GUIDE.md
  (both)                             LICENSE, the module guide docs/MODULES.md and sdk/
  SHA256SUMS                         of the two archives (each archive has one of its members)

The archives are reproducible: members in a fixed order, SOURCE_DATE_EPOCH (default: the last
commit's time) as every member's time, fixed permissions and owners.

Usage: scripts/make-dist.py [NATIVE-BUILD WINDOWS-BUILD]
"""
import gzip
import hashlib
import io
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time
import tomllib
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DOC = Path("/usr/share/doc")
# Compiled into the tool from headers (both builds).
HEADER_LIBRARIES = {"CLI11": "libcli11-dev", "tomlplusplus": "libtomlplusplus-dev",
                    "nlohmann-json": "nlohmann-json3-dev"}
# The author's guide, each archive's README.md (the tree's README is the developers').
GUIDE = "docs/GUIDE.md"
# The project's licence and the module author's kit, in both archives.
KIT = ["LICENSE", "docs/MODULES.md", "sdk/saverpak_module.h", "sdk/example/module.c"]
# Linked statically into the Windows programs.
WINDOWS_LIBRARIES = {"libjpeg-turbo": "libjpeg62-turbo-dev", "libpng": "libpng-dev",
                     "zlib": "libz-mingw-w64-dev", "mingw-w64": "mingw-w64-x86-64-dev",
                     "gcc-runtime": "g++-mingw-w64-x86-64-posix"}
# Linked statically into the Linux tool (tools/saverpak/CMakeLists.txt); the GCC runtime's
# notice covers the Windows programs' copy of it as well.
LINUX_LIBRARIES = {"libjpeg-turbo": "libjpeg62-turbo-dev", "libpng": "libpng-dev",
                   "zlib": "zlib1g-dev", "gcc-runtime": "gcc-12-base"}
# All the Linux tool may ask of the system: the C library's own parts.
LINUX_SYSTEM_LIBRARIES = {"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2"}


def fail(message):
    sys.exit(f"make-dist: error: {message}")


def source_date_epoch():
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"])
    out = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%ct"],
                         capture_output=True, text=True, check=True)
    return int(out.stdout)


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    match = re.search(r"project\(\s*Saverpak\s+VERSION\s+([0-9.]+)", text)
    if not match:
        fail("no project VERSION in CMakeLists.txt")
    return match.group(1)


def read(path):
    path = Path(path)
    if not path.is_file():
        fail(f"{path} is missing (make native windows builds everything the archives hold)")
    return path.read_bytes()


def licences(libraries):
    """(archive name, bytes) of each library's Debian copyright file."""
    return [(f"licences/{name}.txt", read(DOC / package / "copyright"))
            for name, package in sorted(libraries.items())]


def stripped(program):
    """The native program without its debug information (the build keeps it with -g)."""
    read(program)
    with tempfile.TemporaryDirectory() as folder:
        out = Path(folder) / "program"
        subprocess.run(["objcopy", "--strip-debug", str(program), str(out)], check=True)
        return out.read_bytes()


def needs_only_the_c_library(program):
    """Fails unless the Linux tool asks the system for nothing but the C library's parts."""
    dynamic = subprocess.run(["readelf", "-d", str(program)], capture_output=True, text=True,
                             check=True).stdout
    needed = set(re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic))
    if needed - LINUX_SYSTEM_LIBRARIES:
        fail(f"{program} needs {', '.join(sorted(needed - LINUX_SYSTEM_LIBRARIES))}; it must link "
             "them statically to start on other distributions")


def roff_text(text):
    """Plain text as roff: backslashes escaped, no line taken for a request."""
    lines = text.replace("\\", "\\e").splitlines()
    return "\n".join("\\&" + line if line.startswith((".", "'")) else line for line in lines)


def man_page(tool, epoch):
    """saverpak.1, written by help2man from the tool's --help and each command's."""
    if not shutil.which("help2man"):
        fail("help2man is missing (scripts/install-deps.sh installs it)")
    commands = ["build", "list", "verify", "extract", "preview"]
    sections = ["[COMMANDS]"]
    for command in commands:
        text = subprocess.run([str(tool), command, "--help"], capture_output=True, text=True,
                              check=True).stdout
        sections += [f".SS {command}", ".nf", roff_text(text.strip()), ".fi"]
    # As typed in the unpacked archive's folder, where the tool is not on the PATH.
    sections += ["[EXAMPLES]", ".nf", roff_text(
        "./saverpak build --stub Saverpak.scr --manifest example/Snowfall.toml -o Snowfall.scr\n"
        "./saverpak verify Snowfall.scr\n"
        "./saverpak list Snowfall.scr\n"
        "./saverpak preview example/content/preview.jpg --depth 8 -o preview8.png"), ".fi",
                 "[SEE ALSO]", "README.md in this archive, the author's guide: a first saver, the "
                 "manifest, pictures, signing and installing a saver."]
    with tempfile.TemporaryDirectory() as folder:
        include = Path(folder) / "saverpak.h2m"
        include.write_text("\n".join(sections) + "\n")
        out = subprocess.run(
            ["help2man", "--no-info", "--section=1", f"--include={include}",
             "--name=build, list, verify and extract the content of a Windows screen saver",
             str(tool)],
            capture_output=True, check=True, env={**os.environ, "SOURCE_DATE_EPOCH": str(epoch)})
    return out.stdout


def example(windows):
    """The demo as the example: its two manifests (the snow program's and the picture saver's),
    its module and the pictures the manifests name, drawn as scripts/demo.sh draws them."""
    members, names = [], set()
    for manifest_name in ("Snowfall.toml", "Pictures.toml"):
        manifest = read(ROOT / "demo" / manifest_name)
        parsed = tomllib.loads(manifest.decode())
        names |= {entry["file"] for kind in ("module", "picture")
                  for entry in parsed.get(kind, []) if "file" in entry}
        names |= {parsed["saver"]["icon"]} if "icon" in parsed.get("saver", {}) else set()
        names |= set(parsed.get("slideshow", {}).get("pictures", []))
        members.append((f"example/{manifest_name}", manifest, 0o644))
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([str(ROOT / "demo/make-content.sh"), folder], check=True,
                       stdout=subprocess.DEVNULL)
        drawn = {f"content/{p.relative_to(folder).as_posix()}": p.read_bytes()
                 for p in sorted(Path(folder).rglob("*")) if p.is_file()}
    drawn["Snowfall.exe"] = read(windows / "demo/Snowfall.exe")
    # A slideshow's folder stands for the pictures in it.
    for name in [n for n in names if n.endswith("/")]:
        names.remove(name)
        names |= {d for d in drawn if d.startswith(name)} or {name}
    if names - drawn.keys():
        fail(f"the example manifests name {', '.join(sorted(names - drawn.keys()))}, which "
             "nothing makes")
    # Only what the manifests use: no file in the archive that nothing reads.
    return members + [(f"example/{name}", drawn[name], 0o755 if name.endswith(".exe") else 0o644)
                      for name in sorted(names)]


def with_sums(members):
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data, _ in members)
    return members + [("SHA256SUMS", sums.encode(), 0o644)]


def write_zip(path, top, members, epoch):
    stamp = max(time.gmtime(epoch)[:6], (1980, 1, 1, 0, 0, 0))
    with zipfile.ZipFile(path, "w") as archive:
        for name, data, mode in members:
            info = zipfile.ZipInfo(f"{top}/{name}", date_time=stamp)
            info.create_system = 3  # Unix: the permissions below are honoured
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)


def write_tar_gz(path, top, members, epoch):
    with open(path, "wb") as raw, \
            gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=epoch) as packed, \
            tarfile.open(fileobj=packed, mode="w", format=tarfile.GNU_FORMAT) as archive:
        for name, data, mode in members:
            info = tarfile.TarInfo(f"{top}/{name}")
            info.size, info.mtime, info.mode = len(data), epoch, mode
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            archive.addfile(info, io.BytesIO(data))


def main():
    native = Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build/native"
    windows = Path(sys.argv[2]) if len(sys.argv) > 2 else ROOT / "build/windows"
    version, epoch = project_version(), source_date_epoch()
    dist = ROOT / "build/dist"
    dist.mkdir(parents=True, exist_ok=True)
    readme = read(ROOT / GUIDE)
    kit = [(name, read(ROOT / name), 0o644) for name in KIT]

    saver = read(windows / "presentation/Saverpak.scr")
    # Beside the stub, where `saverpak build` looks for it.
    slideshow = read(windows / "presentation/Slideshow.exe")
    example_members = example(windows)
    windows_members = [
        ("saverpak.exe", read(windows / "tools/saverpak/saverpak.exe"), 0o755),
        ("Saverpak.scr", saver, 0o755),
        ("Slideshow.exe", slideshow, 0o755),
        ("README.md", readme, 0o644),
        ("saverpak-manifest.schema.json", read(ROOT / "saverpak-manifest.schema.json"), 0o644),
    ] + [(name, data, 0o644) for name, data in
         licences({**WINDOWS_LIBRARIES, **HEADER_LIBRARIES})] + example_members + kit
    tool = native / "tools/saverpak/saverpak"
    needs_only_the_c_library(tool)
    linux_members = [
        ("saverpak", stripped(tool), 0o755),
        ("saverpak.1", man_page(tool, epoch), 0o644),
        ("Saverpak.scr", saver, 0o755),
        ("Slideshow.exe", slideshow, 0o755),
        ("README.md", readme, 0o644),
        ("saverpak-manifest.schema.json", read(ROOT / "saverpak-manifest.schema.json"), 0o644),
    ] + [(name, data, 0o644) for name, data in
         licences({**WINDOWS_LIBRARIES, **LINUX_LIBRARIES, **HEADER_LIBRARIES})] + example_members + kit

    archives = []
    for platform, extension, members, write in (
            ("windows-x64", ".zip", windows_members, write_zip),
            ("linux-x64", ".tar.gz", linux_members, write_tar_gz)):
        top = f"saverpak-{version}-{platform}"
        write(dist / (top + extension), top, with_sums(members), epoch)
        archives.append(top + extension)
    sums = "".join(f"{hashlib.sha256((dist / n).read_bytes()).hexdigest()}  {n}\n"
                   for n in archives)
    (dist / "SHA256SUMS").write_text(sums)
    print(sums, end="")


if __name__ == "__main__":
    main()
