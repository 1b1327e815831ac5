"""Writes the page's index.html as it is served: the source's index.html with its style sheet and
its scripts put in place of the tags that name them, each allowed by its SHA-256 in the page's
own Content-Security-Policy, which allows no other inline script or style. A first visit then
asks for nothing before guess.wasm, which the page's head asks for at once.

A module's imports of modules beside it, as `import { name } from "./file.js";`, are put into it,
each module in a scope of its own, as a browser keeps it.

Usage: python3 web_page.py SOURCE_DIR OUT_FILE"""
import base64
import hashlib
import pathlib
import re
import sys

STYLE = re.compile(r'<link rel="stylesheet" href="([\w.-]+)">')
SCRIPT = re.compile(r'<script( type="module")? src="([\w.-]+)"></script>')
IMPORT = re.compile(r'^import \{ ([\w, ]+) \} from "\./([\w.-]+)";\n', re.MULTILINE)
POLICY = re.compile(r"(script-src [^;\"]*)(;[^\"]*)\"")


def read(folder, name):
    """The text of the file `name` in `folder`."""
    return (folder / name).read_text(encoding="utf-8")


def module(folder, name):
    """The module in `name` with what it imports from beside it put first."""
    def imported(found):
        names, source = found.groups()
        body = re.sub(r"^export ", "", module(folder, source), flags=re.MULTILINE)
        return f"const {{ {names} }} = (() => {{\n{body}return {{ {names} }};\n}})();\n"
    return IMPORT.sub(imported, read(folder, name))


def source(text):
    """The CSP source that allows an inline element whose text is `text`."""
    return "'sha256-" + base64.b64encode(hashlib.sha256(text.encode()).digest()).decode() + "'"


def main(folder, out):
    page = read(folder, "index.html")
    scripts, styles = [], []

    def script(found):
        kind, name = found.groups()
        text = "\n" + (module(folder, name) if kind else read(folder, name))
        scripts.append(source(text))
        return f"<script{kind or ''}>{text}</script>"

    def style(found):
        text = "\n" + read(folder, found.group(1))
        styles.append(source(text))
        return f"<style>{text}</style>"

    page = SCRIPT.sub(script, STYLE.sub(style, page))
    if not POLICY.search(page) or re.search(r"<script[^>]* src=|rel=\"stylesheet\"|^import ",
                                            page, re.MULTILINE):
        sys.exit(f"{folder / 'index.html'}: a policy, script or style that cannot be put inline")
    page = POLICY.sub(lambda found: f"{found.group(1)} {' '.join(scripts)}; style-src 'self' "
                      f"{' '.join(styles)}{found.group(2)}\"", page, count=1)
    pathlib.Path(out).parent.mkdir(parents=True, exist_ok=True)
    pathlib.Path(out).write_text(page, encoding="utf-8")


if __name__ == "__main__":
    main(pathlib.Path(sys.argv[1]), sys.argv[2])
