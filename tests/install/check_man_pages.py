#!/usr/bin/env python3
"""The man pages agree with the programs they describe.

For each program and each language of its page:
- the options that `PROGRAM --help` lists and the options the page's OPTIONS
  section describes (its tagged paragraphs) are the same, except options
  named in man-options-ahead.txt, which the page may describe before the
  program has them;
- every environment variable the program's sources read is in ENVIRONMENT;
- the page has the sections a user looks for, and the English and Japanese
  pages list the same exit statuses and environment variables;
- the page's title line carries the version `nami --version` prints;
- `man` renders the page without a warning (as lintian checks it; for
  Japanese, groff's line-breaking limits are let through, as lintian does,
  and the page must also render without any warning with groff's Japanese
  macros, as man-db shows it in a Japanese locale).

usage: check_man_pages.py SOURCE_DIR NAMI NAMI_TNCSIM
Every disagreement is printed, naming the option, the page and the section.
"""
import os
import re
import subprocess
import sys

SECTIONS = {  # what a section is called in each language
    "synopsis": ("SYNOPSIS", "書式"),
    "description": ("DESCRIPTION", "説明"),
    "options": ("OPTIONS", "オプション"),
    "environment": ("ENVIRONMENT", "環境変数"),
    "files": ("FILES", "ファイル"),
    "exit": ("EXIT STATUS", "終了ステータス"),
    "examples": ("EXAMPLES", "例"),
}
LANGUAGES = (("en", "doc/man"), ("ja", "doc/man/ja"))
OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][A-Za-z0-9-]*)")
ENV_READ = re.compile(
    r"(?:getenv|qgetenv|qEnvironmentVariable(?:IsSet|IsEmpty)?|environment)\s*\(\s*\"([A-Za-z_][A-Za-z0-9_]*)\"")
ENV_NAME = re.compile(r"\b([A-Z][A-Z0-9]*_[A-Z0-9_]+|HOME|PATH|TZ|TMPDIR|DISPLAY)\b")

problems = []


def problem(text):
    problems.append(text)


def unescape(text):
    """Roff source to plain text, enough for option and variable names."""
    text = re.sub(r"\\f(?:\[[^]]*\]|\(..|.)", "", text)
    text = re.sub(r"\\\(..", " ", text)
    return text.replace("\\-", "-").replace("\\e", "\\").replace('"', " ")


def macro_text(line):
    """The text of a macro line (".BR \\-h , \\-\\-help"), or of a text line."""
    if line.startswith("."):
        parts = line.split(None, 1)
        line = parts[1] if len(parts) > 1 else ""
    return unescape(line)


def parse_page(path):
    """{section title: [(tag or None, text lines)]} of a man page."""
    sections, current, tag_next = {}, None, False
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith(".SH"):
                current = unescape(line[3:]).strip()
                sections[current] = {"tags": [], "text": []}
                continue
            if current is None:
                continue
            if line.startswith(".TP"):
                tag_next = True
                continue
            if tag_next:
                sections[current]["tags"].append(macro_text(line))
                tag_next = False
                continue
            sections[current]["text"].append(macro_text(line))
    return sections


def section(page, key, lang_index, path):
    title = SECTIONS[key][lang_index]
    if title not in page:
        problem(f"{path}: no section {title}")
        return {"tags": [], "text": []}
    return page[title]


def help_options(program):
    out = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=30)
    if out.returncode != 0:
        problem(f"{program} --help: exit status {out.returncode}")
    found = set()
    for line in out.stdout.splitlines():
        stripped = line.strip()
        if not stripped.startswith("-"):
            continue
        first_column = re.split(r"\s{2,}", stripped)[0]
        found.update(OPTION.findall(first_column))
    if not found:
        problem(f"{program} --help lists no options")
    return found


def env_read_by(source_dir, paths):
    names = set()
    for rel in paths:
        full = os.path.join(source_dir, rel)
        files = [full] if os.path.isfile(full) else [
            os.path.join(d, f) for d, _, fs in os.walk(full) for f in fs if f.endswith((".cpp", ".h"))]
        for name in files:
            with open(name, encoding="utf-8", errors="replace") as f:
                names.update(ENV_READ.findall(f.read()))
    return names


def render_warnings(path, lang):
    env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80")
    out = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", path],
                         capture_output=True, text=True, env=env, timeout=60)
    lines = [l for l in out.stderr.splitlines() if l.strip()]
    if lang == "ja":
        lines = [l for l in lines if not re.search(r"warning \[.*\]: (cannot adjust|can't break) line", l)]
    if out.returncode != 0:
        lines.append(f"man exit status {out.returncode}")
    if lang == "ja":
        # As man-db shows it in a Japanese locale: with groff's ja macros,
        # which break lines between Japanese characters; then no warning at all.
        with open(path, "rb") as f:
            text = subprocess.run(["preconv", "-e", "UTF-8"], input=f.read(), capture_output=True, timeout=60).stdout
        out = subprocess.run(["groff", "-mja", "-man", "-Tutf8", "-ww", "-z"], input=text, capture_output=True,
                             timeout=60)
        lines += ["-mja: " + l for l in out.stderr.decode(errors="replace").splitlines() if l.strip()]
    return lines


def title_source(path):
    """The source field of the .TH line ("nami 0.1.0")."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith(".TH"):
                fields = re.findall(r'"[^"]*"|\S+', line)
                return fields[4].strip('"') if len(fields) > 4 else ""
    return ""


def options_ahead(source_dir):
    """{program: options} the pages describe ahead of the programs (see the file)."""
    ahead = {}
    path = os.path.join(source_dir, "tests", "install", "man-options-ahead.txt")
    if os.path.isfile(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                words = line.split("#", 1)[0].split()
                if words:
                    ahead.setdefault(words[0], set()).update(words[1:])
    return ahead


def check(source_dir, name, program, env_sources, version):
    listed = help_options(program)
    ahead = options_ahead(source_dir).get(name, set())
    for option in sorted(ahead & listed):
        print(f"note: {name} --help lists {option} now; it can leave tests/install/man-options-ahead.txt")
    env_needed = env_read_by(source_dir, env_sources)
    per_language = {}
    for index, (lang, folder) in enumerate(LANGUAGES):
        rel = f"{folder}/{name}.1"
        path = os.path.join(source_dir, rel)
        if not os.path.isfile(path):
            problem(f"{rel}: missing")
            continue
        page = parse_page(path)
        if title_source(path) != version:
            problem(f"{rel}: the title line says '{title_source(path)}', the program '{version}'")
        for key in SECTIONS:
            section(page, key, index, rel)
        described = set()
        for tag in section(page, "options", index, rel)["tags"]:
            described.update(OPTION.findall(tag))
        for option in sorted(listed - described):
            problem(f"{name} --help lists {option}, but {rel} does not describe it under "
                    f"{SECTIONS['options'][index]}")
        for option in sorted(described - listed - ahead):
            problem(f"{rel} describes {option} under {SECTIONS['options'][index]}, but {name} --help does not list it")
        environment = section(page, "environment", index, rel)
        env_text = " ".join(environment["tags"] + environment["text"])
        env_documented = set(ENV_NAME.findall(" ".join(environment["tags"])))
        for var in sorted(env_needed):
            if var not in env_text:
                problem(f"{name} reads ${var}, but {rel} does not name it under {SECTIONS['environment'][index]}")
        statuses = set(" ".join(section(page, "exit", index, rel)["tags"]).split())
        if not statuses:
            problem(f"{rel}: no exit status listed")
        per_language[lang] = (statuses, env_documented)
        for warning in render_warnings(path, lang):
            problem(f"{rel}: man: {warning}")
    if len(per_language) == 2:
        (en_exit, en_env), (ja_exit, ja_env) = per_language["en"], per_language["ja"]
        if en_exit != ja_exit:
            problem(f"{name}(1): exit statuses differ: en {sorted(en_exit)}, ja {sorted(ja_exit)}")
        if en_env != ja_env:
            problem(f"{name}(1): environment variables only in the English page {sorted(en_env - ja_env)}, "
                    f"only in the Japanese page {sorted(ja_env - en_env)}")


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    source_dir, nami, tncsim = sys.argv[1:]
    version = subprocess.run([nami, "--version"], capture_output=True, text=True, timeout=30).stdout.strip()
    check(source_dir, "nami", nami, ["src"], version)
    check(source_dir, "nami-tncsim", tncsim, ["tools/nami-tncsim.cpp", "src/sim"], version)
    for p in problems:
        print(p)
    print(f"{len(problems)} problem(s)" if problems else "man pages agree with --help")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
