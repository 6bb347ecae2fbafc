#!/usr/bin/env python3
"""Generates one-line slips from the code itself, for scripts/mutate.sh.

  generate_mutants.py [--added-by BASE..TIP] COUNT SEED PATH...

Walks the C++ sources under the paths (tests, benchmarks and fuzz targets
left out), finds every place where one of the usual slips fits, samples
COUNT of them with the seed, and prints them in the hand list's format:

  id @@ file @@ occurrence @@ original text @@ replacement text

The original text is the whole source line, and the occurrence counts the
places where that text stands in the file the way mutate.sh searches them
(each search starting one character after the last find), so a generated
slip lands on exactly the line it was made from. The id carries file:line.

With --added-by, only lines that the commits of the range added and that
still stand in the tree are candidates (git blame of each file, kept where
the line's commit is one of git rev-list BASE..TIP): the slips then land
on the code one piece of work wrote.

The kinds, each a slip a developer makes:
  relop     a comparison flipped at its edge: < <=, > >=, == !=
  const     an integer constant one off (+1 or -1)
  logic     && and || swapped
  index     + and - swapped inside an index
  call      a statement that only calls a function, dropped
  exit      a break or a bare return, dropped
"""
import os
import random
import re
import subprocess
import sys

SOURCE_ENDINGS = ('.cpp', '.h', '.c', '.hpp')
SKIPPED_TOP = ('tests', 'bench', 'fuzz', 'build', 'out', 'examples')

RELATIONAL = {' < ': ' <= ', ' <= ': ' < ', ' > ': ' >= ', ' >= ': ' > ',
              ' == ': ' != ', ' != ': ' == '}
LOGIC = {' && ': ' || ', ' || ': ' && '}
CONSTANT = re.compile(r'(?<![\w.])(\d+)(?![\w.\'])')
INDEX_TERM = re.compile(r'\[([^\[\]]*?) ([+-]) ([^\[\]]*?)\]')
CALL_STATEMENT = re.compile(r'^\s*[A-Za-z_][\w:.>\-]*(<[\w:, ]*>)?\s*\(.*\);\s*$')
NOT_A_CALL = re.compile(r'^\s*(return|delete|throw|case|goto|co_return|if|for|while|switch)\b')
# An assignment anywhere in the line makes it no bare call (== != <= >= are
# comparisons inside arguments and do not count).
ASSIGNMENT = re.compile(r'(?<![=!<>])=(?!=)')


def source_files(paths):
    for path in paths:
        if os.path.isfile(path):
            yield os.path.normpath(path)
            continue
        for root, dirs, files in os.walk(path):
            dirs[:] = sorted(d for d in dirs if not d.startswith('.'))
            for name in sorted(files):
                if name.endswith(SOURCE_ENDINGS):
                    yield os.path.normpath(os.path.join(root, name))


def wanted(path):
    """Left out: tests and the like, and sources only the Windows build
    compiles (their slips could never be built, so they would all survive)."""
    parts = path.split(os.sep)
    windows_only = path.endswith('_win32.cpp') or (path.endswith('.cpp') and 'win32' in parts[:-1])
    return parts[0] not in SKIPPED_TOP and not windows_only


def windows_branch(directive, stack):
    """Follows #if/#else/#endif: stack holds, per open conditional, whether
    its current branch is compiled only for Windows."""
    words = directive.split()
    word = words[0] if words else ''
    if word in ('#if', '#ifdef', '#ifndef'):
        names_windows = '_WIN32' in directive
        negated = word == '#ifndef' or '!' in directive
        stack.append(names_windows and not negated)
        stack.append(names_windows and negated)  # what #else turns to
    elif word in ('#else', '#elif') and stack:
        stack[-2], stack[-1] = stack[-1], stack[-2]
    elif word == '#endif' and stack:
        del stack[-2:]


def blank(match):
    return ' ' * len(match.group())


def without_literals(line):
    """The line with string and character literals and closed /* */
    comments blanked, its length kept so offsets still fit the line."""
    line = re.sub(r'"(\\.|[^"\\])*"', lambda m: '"' + ' ' * (len(m.group()) - 2) + '"', line)
    line = re.sub(r"'(\\.|[^'\\])'", lambda m: "'" + ' ' * (len(m.group()) - 2) + "'", line)
    return re.sub(r'/\*.*?\*/', blank, line)


def code_part(line):
    """The line up to a // comment or a /* left open, literals and closed
    comments blanked, so slips land only in code."""
    line = without_literals(line)
    cuts = [at for at in (line.find('//'), line.find('/*')) if at >= 0]
    return line[:min(cuts)] if cuts else line


def opens_comment(line):
    """Whether a /* on this line stays open past its end."""
    line = without_literals(line)
    at = line.find('/*')
    return at >= 0 and not 0 <= line.find('//') < at


def replacements_at(line, code):
    """Every (kind, mutated line) that one slip makes of this line."""
    out = []
    stripped = code.strip()
    if not stripped or stripped.startswith(('#', '*', '/*', 'static_assert')):
        return out
    for table, kind in ((RELATIONAL, 'relop'), (LOGIC, 'logic')):
        for text, other in table.items():
            start = code.find(text)
            while start >= 0:
                out.append((kind, line[:start] + other + line[start + len(text):]))
                start = code.find(text, start + 1)
    for match in CONSTANT.finditer(code):
        value = int(match.group(1))
        for changed in (value + 1, value - 1):
            if changed >= 0:
                out.append(('const', line[:match.start(1)] + str(changed) + line[match.end(1):]))
    for match in INDEX_TERM.finditer(code):
        other = '-' if match.group(2) == '+' else '+'
        at = match.start(2)
        out.append(('index', line[:at] + other + line[at + 1:]))
    if (CALL_STATEMENT.match(code) and not NOT_A_CALL.match(code) and not ASSIGNMENT.search(code)
            and code.count('(') == code.count(')')):
        indent = line[:len(line) - len(line.lstrip())]
        out.append(('call', indent + ';'))
    if stripped in ('break;', 'return;'):
        out.append(('exit', line.replace(stripped, ';')))
    return out


def occurrence(text, line, offset):
    """Which find of `line` in `text` lands on `offset`, searching as
    mutate.sh does; None when the searches step over it."""
    nth, at = 0, -1
    while True:
        at = text.find(line, at + 1)
        if at < 0 or at > offset:
            return None
        nth += 1
        if at == offset:
            return nth


def commits_of(revision_range):
    listed = subprocess.run(['git', 'rev-list', revision_range], check=True,
                            capture_output=True, text=True).stdout
    return set(listed.split())


def lines_added_by(path, commits):
    """The numbers of the lines of path whose last change is one of commits
    (blame gives each line a header: commit, old line, line, [group size])."""
    blame = subprocess.run(['git', 'blame', '--porcelain', '--', path], check=True,
                           capture_output=True, text=True).stdout
    return {int(header.group(2)) for header in re.finditer(r'^([0-9a-f]{40}) \d+ (\d+)', blame, re.M)
            if header.group(1) in commits}


def candidates(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        text = f.read()
    offset = 0
    in_block_comment = False
    conditionals = []
    for number, line in enumerate(text.split('\n'), 1):
        start = offset
        offset += len(line) + 1
        if in_block_comment:
            if '*/' in line:
                in_block_comment = False
            continue
        code = code_part(line)
        in_block_comment = opens_comment(line)
        if code.lstrip().startswith('#'):
            windows_branch(code.strip(), conditionals)
        if ' @@ ' in line or code.strip() == '' or any(conditionals[0::2]):
            continue
        # Several slips of one line get ids of their own: :LINE, :LINE.2, ...
        for k, (kind, mutated) in enumerate(replacements_at(line, code), 1):
            nth = occurrence(text, line, start)
            if nth is not None:
                suffix = f'.{k}' if k > 1 else ''
                yield f'gen-{kind}-{path}:{number}{suffix}', path, nth, line, mutated


def line_of(mutant):
    return int(mutant[0].rsplit(':', 1)[1].split('.')[0])


def main(argv):
    commits = None
    if len(argv) > 2 and argv[1] == '--added-by':
        commits = commits_of(argv[2])
        argv = argv[:1] + argv[3:]
    if len(argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    count, seed, paths = int(argv[1]), int(argv[2]), argv[3:]
    pool = []
    for path in (p for p in source_files(paths) if wanted(p)):
        kept = None if commits is None else lines_added_by(path, commits)
        pool += [c for c in candidates(path) if kept is None or line_of(c) in kept]
    chosen = random.Random(seed).sample(pool, min(count, len(pool)))
    chosen.sort(key=lambda c: (c[1], [int(n) for n in c[0].rsplit(':', 1)[1].split('.')]))
    for mutant in chosen:
        print(' @@ '.join(str(field) for field in mutant))
    sys.stderr.write(f'{len(chosen)} of {len(pool)} possible slips\n')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
