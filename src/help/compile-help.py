#!/usr/bin/env python3
"""Compiles the help topics of this folder into Tollmark.chm with chmcmd.

usage: compile-help.py SOURCE_DIR STAGE_DIR CHMCMD OUTPUT

The sources are kept in UTF-8. The help viewer of Windows reads the project,
the contents, the index and the topics of a Russian help file in
Windows-1251, the charset every topic declares, so they are written out in
that code page into the staging folder and compiled there. A character that
Windows-1251 lacks stops the build with its file and line.
"""
import os
import shutil
import subprocess
import sys

TEXT_FILES = ('.htm', '.hhc', '.hhk', '.hhp', '.css')
PICTURES = ('.png', '.gif', '.jpg', '.ico')


def stage_sources(source, stage):
    shutil.rmtree(stage, ignore_errors=True)
    os.makedirs(stage)
    for name in sorted(os.listdir(source)):
        path = os.path.join(source, name)
        if name.endswith(TEXT_FILES):
            with open(path, encoding='utf-8') as file:
                lines = file.read().splitlines()
            encoded = []
            for number, line in enumerate(lines, 1):
                try:
                    encoded.append(line.encode('cp1251'))
                except UnicodeEncodeError as error:
                    sys.exit(f'{path}:{number}: {line[error.start]!r} has no Windows-1251 form')
            with open(os.path.join(stage, name), 'wb') as file:
                file.write(b'\r\n'.join(encoded) + b'\r\n')
        elif name.endswith(PICTURES):
            shutil.copyfile(path, os.path.join(stage, name))


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    source, stage, chmcmd, output = sys.argv[1:]
    stage_sources(source, stage)
    result = subprocess.run([chmcmd, 'Tollmark.hhp'], cwd=stage, capture_output=True, text=True,
                            encoding='cp1251', errors='replace')
    compiled = os.path.join(stage, 'Tollmark.chm')
    if result.returncode != 0 or not os.path.exists(compiled):
        sys.stderr.write(result.stdout + result.stderr)
        sys.exit('chmcmd did not compile Tollmark.chm')
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    shutil.copyfile(compiled, output)


if __name__ == '__main__':
    main()
