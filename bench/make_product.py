#!/usr/bin/env python3
"""Generates the benchmark product: its files, its install definition and the peer installer's script.

    make_product.py OUT FILES MEGABYTES

writes, below OUT:
  src/dataNN/...    FILES files of MEGABYTES MiB together, spread over 20 folders: a third of the bytes
                    text that compresses well (notes, settings, pages), a third program-like data
                    (code-like runs, tables, zero padding) and a third bytes that do not compress
                    (pictures, packed data); the sizes vary from a few bytes to a few MiB;
  product.tmby      the definition: a TInstall with one TInstallDirectory per folder and one
                    TInstallFile per file, taken from SRC (its Windows path, Z: and the host path);
  peer.nsi          the same files for makensis (zlib, one File line each), installed silently to the
                    folder given with /D=;
  files.txt         the relative paths, one a line.
The content depends only on the arguments, so a second run with the same arguments reuses OUT.
"""
import os
import random
import sys

FOLDERS = 20
WORDS = (
    "the of and to in is that for it as with was on be by this are from at or an have not which "
    "setup install file folder program version window registry disk archive user product note "
    "settings value default path system shared library option page button licence read write "
    "copy remove update restart select folder destination component group directory type data "
    "entry text string number list table index record header volume member size date time"
).split()


def text_pool(rng, size):
    """Plain text in lines of words, with numbers and the odd key=value line."""
    lines = []
    total = 0
    while total < size:
        n = rng.randint(4, 14)
        line = " ".join(rng.choice(WORDS) for _ in range(n))
        if rng.random() < 0.2:
            line = "%s%d=%s" % (rng.choice(WORDS), rng.randint(0, 999), rng.choice(WORDS))
        elif rng.random() < 0.3:
            line = line.capitalize() + " %d." % rng.randint(0, 99999)
        lines.append(line)
        total += len(line) + 2
    return ("\r\n".join(lines)).encode("ascii")


def program_like(rng, size):
    """Code-like data: short random runs, repeated small tables and zero padding."""
    out = bytearray()
    table = rng.randbytes(64)
    while len(out) < size:
        kind = rng.random()
        if kind < 0.45:
            out += rng.randbytes(rng.randint(8, 96))
        elif kind < 0.75:
            out += table[: rng.randint(16, 64)]
        else:
            out += bytes(rng.randint(16, 512))
    return bytes(out[:size])


def sizes(rng, count, total):
    """Sizes from a log-normal spread (median near 16 KiB), scaled to add up to total."""
    raw = [min(max(rng.lognormvariate(9.7, 1.6), 1.0), 8e6) for _ in range(count)]
    scale = total / sum(raw)
    result = [max(1, int(r * scale)) for r in raw]
    result[0] += total - sum(result)
    return result


def main():
    out, count, megabytes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    stamp = os.path.join(out, "generated")
    wanted = "%d %d\n" % (count, megabytes)
    if os.path.exists(stamp) and open(stamp).read() == wanted + os.path.abspath(out) + "\n":
        return
    rng = random.Random(20261207)
    total = megabytes << 20
    pool = text_pool(rng, 4 << 20)
    kinds = (
        ("txt", "text"), ("ini", "text"), ("htm", "text"), ("xml", "text"),
        ("dll", "program"), ("exe", "program"), ("dat", "program"),
        ("jpg", "random"), ("cab", "random"), ("bin", "random"),
    )
    src = os.path.join(out, "src")
    names = []
    for n, size in enumerate(sizes(rng, count, total)):
        ext, kind = kinds[n % len(kinds)]
        folder = "data%02d" % (n % FOLDERS)
        name = "file%04d.%s" % (n, ext)
        os.makedirs(os.path.join(src, folder), exist_ok=True)
        if kind == "text":
            start = rng.randrange(0, len(pool) - 1)
            body = (pool[start:] + pool) * (size // len(pool) + 1)
            data = body[:size]
        elif kind == "program":
            data = program_like(rng, size)
        else:
            data = rng.randbytes(size)
        with open(os.path.join(src, folder, name), "wb") as f:
            f.write(data)
        names.append((folder, name))

    host_src = os.path.abspath(src)
    win_src = "Z:" + host_src.replace("/", "\\")
    d = []
    d.append("object mainForm: TmainForm")
    for kind in ("ProgramFiles", "ContainerDestDir", "ContainerArchiveFile", "MainArchiveFile"):
        d.append("  object ps%s: Tps%s\n  end" % (kind, kind))
    d.append("  object Install1: TInstall\n"
             "    DestDir = '\\Bench Product'\n"
             "    DestDirType = psProgramFiles\n"
             "    Information.CompanyName = 'Bench'\n"
             "    Information.ProductName = 'Bench Product'\n"
             "  end")
    for i in range(FOLDERS):
        d.append("  object dir%02d: TInstallDirectory\n"
                 "    ArchiveFileType = psContainerArchiveFile\n"
                 "    Container = Install1\n"
                 "    DestDir = '\\data%02d'\n"
                 "    DestDirType = psContainerDestDir\n"
                 "  end" % (i, i))
    for n, (folder, name) in enumerate(names):
        d.append("  object f%04d: TInstallFile\n"
                 "    ArchiveFileType = psContainerArchiveFile\n"
                 "    Container = dir%s\n"
                 "    DestDirType = psContainerDestDir\n"
                 "    DestName = '%s'\n"
                 "    FileName = '%s'\n"
                 "    IncludeFromDir = '%s\\%s'\n"
                 "  end" % (n, folder[4:], name, name, win_src, folder))
    d.append("end")
    with open(os.path.join(out, "product.tmby"), "w", newline="\n") as f:
        f.write("\n".join(d) + "\n")

    nsi = [
        "Unicode true",
        "SetCompressor zlib",
        "Name \"Bench Product\"",
        "OutFile \"peer-setup.exe\"",
        "InstallDir \"$PROGRAMFILES\\Bench Peer\"",
        "RequestExecutionLevel admin",
        "SilentInstall silent",
        "Section",
    ]
    current = None
    for folder, name in names:
        if folder != current:
            nsi.append("  SetOutPath \"$INSTDIR\\%s\"" % folder)
            current = folder
        nsi.append("  File \"src/%s/%s\"" % (folder, name))
    nsi.append("SectionEnd")
    with open(os.path.join(out, "peer.nsi"), "w") as f:
        f.write("\n".join(nsi) + "\n")
    with open(os.path.join(out, "files.txt"), "w") as f:
        f.write("".join("%s/%s\n" % entry for entry in names))
    with open(stamp, "w") as f:
        f.write(wanted + os.path.abspath(out) + "\n")


if __name__ == "__main__":
    main()
