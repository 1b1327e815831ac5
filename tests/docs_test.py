#!/usr/bin/env python3
"""Fails on a link between the project's Markdown documents that does not resolve: a file that
is not there, or a heading (#anchor) that the file has not. Links to the web are not followed."""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LINK = re.compile(r"\]\(([^)\s]+)\)")
HEADING = re.compile(r"^#{1,6} +(.*?) *$", re.MULTILINE)
FENCE = re.compile(r"^```.*?^```", re.MULTILINE | re.DOTALL)


def anchors(path):
    """The anchors of a Markdown file's headings, as GitHub makes them."""
    text = FENCE.sub("", path.read_text())
    return {re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-")
            for heading in HEADING.findall(text)}


def main():
    # The project's own documents: none of the npm packages', the builds' or the release's.
    documents = sorted(path for path in ROOT.rglob("*.md") if not any(
        part in ("node_modules", "out", ".git") or part.startswith("build")
        for part in path.relative_to(ROOT).parts[:-1]))
    broken = []
    for document in documents:
        for target in LINK.findall(FENCE.sub("", document.read_text())):
            if re.match(r"[a-z]+:", target):
                continue
            name, _, anchor = target.partition("#")
            path = (document.parent / name).resolve() if name else document
            if not path.exists():
                broken.append(f"{document.relative_to(ROOT)}: {target}: no such file")
            elif anchor and path.suffix == ".md" and anchor not in anchors(path):
                broken.append(f"{document.relative_to(ROOT)}: {target}: no such heading")
    print("\n".join(broken) or f"links in {len(documents)} documents: all resolve")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
