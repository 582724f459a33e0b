#!/usr/bin/env python3
"""Builds the fuzz targets' seed corpora from the shared test vectors (read only) and the
hand-written seeds beside this script. Usage: make_corpus.py VECTORS_DIR OUT_DIR"""
import pathlib
import shutil
import sys


def rows(vectors, name):
    for line in (vectors / name).read_text(encoding="latin-1").splitlines():
        if line and not line.startswith("#"):
            yield line.split("\t")


def main():
    vectors, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    corpora = {name: out / name for name in
               ("decrypt", "shrink", "gate", "settings_parser", "split_key_path")}
    for folder in corpora.values():
        folder.mkdir(parents=True, exist_ok=True)

    for name, password_hex, plain, encrypted in rows(vectors, "files.tsv"):
        password = bytes.fromhex(password_hex)
        kfo = (vectors / encrypted).read_bytes()
        text = (vectors / plain).read_bytes()
        # Flags byte: the password's length; the top bit asks the target to fix the digest.
        (corpora["decrypt"] / name).write_bytes(bytes([len(password)]) + password + kfo)
        (corpora["decrypt"] / (name + "-wrong")).write_bytes(bytes([0x80]) + kfo)
        body = b"".join(kfo.split(b"\r\n")[1:])
        (corpora["shrink"] / name).write_bytes(body)
        # Attribute value, name length, name, content.
        (corpora["gate"] / (name + "-kfo")).write_bytes(bytes([32, 7]) + b"doc.kfo" + kfo)
        (corpora["gate"] / (name + "-plain")).write_bytes(bytes([0, 7]) + b"doc.txt" + text)

    for i, (_, stretched_hex) in enumerate(rows(vectors, "stretch.tsv")):
        (corpora["shrink"] / f"stretch-{i}").write_bytes(bytes.fromhex(stretched_hex))

    here = pathlib.Path(__file__).resolve().parent / "seeds"
    for target in ("settings_parser", "split_key_path"):
        for seed in (here / target).iterdir():
            shutil.copyfile(seed, corpora[target] / seed.name)


if __name__ == "__main__":
    main()
