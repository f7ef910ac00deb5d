"""TVXTap's --help and the usage block README.md shows for it say the same,
line for line. Argument: the TVXTap program."""

import os
import re
import subprocess
import sys
import textwrap

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def readme_block():
    with open(os.path.join(SOURCE, "README.md")) as readme:
        text = readme.read()
    # The indented block after the paragraph that introduces TVXTap.
    found = re.search(r"^\*\*TVXTap\*\* is a console tool(?:.+\n)+\n((?:    .*\n)+)", text, re.M)
    assert found, "README.md has no TVXTap usage block"
    return textwrap.dedent(found.group(1))


def help_block(tap):
    said = subprocess.run([tap, "--help"], capture_output=True, text=True, check=True).stdout
    found = re.match(r"usage:\n((?:  .*\n)+)", said)
    assert found, "TVXTap --help starts with no usage block:\n" + said
    return textwrap.dedent(found.group(1))


if __name__ == "__main__":
    readme, help_text = readme_block(), help_block(sys.argv[1])
    if readme != help_text:
        sys.exit("README.md's TVXTap block:\n%s\ndiffers from --help's:\n%s" % (readme, help_text))
