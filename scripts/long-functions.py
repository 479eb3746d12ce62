#!/usr/bin/env python3
"""Lists the C++ functions whose bodies run over a number of non-blank lines.

Usage: scripts/long-functions.py [--max N] [DIR_OR_FILE ...]
(default: 60 lines; ribotrace common pairnex bench tests)

A body counts from the line of its opening brace to the line of its closing
brace, both included, blank lines left out. The scan is textual, not a
parse: comments, strings and character literals are blanked first, then
every brace block is classed by the text before it. Blocks after namespace,
class, struct, union, enum or extern "C" are scopes and are looked into; a
block whose lead-in has a parenthesis (and no '=' outside parentheses, which
marks an initialiser or a lambda held in a variable) is a function; anything
else is data. That is enough for this code base's style (clang-format,
Google) and errs towards listing too much rather than too little.
"""
import argparse
import os
import re
import sys

SCOPE = re.compile(r'^\s*(?:template\s*<.*>\s*)?(?:namespace|class|struct|union|enum|extern\s+"C")\b',
                   re.S)
SOURCES = ('.cpp', '.cc', '.h', '.hpp')


def blank_literals(text):
    """Returns text with comments, strings and char literals turned to spaces (newlines kept)."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith('//', i):
            j = text.find('\n', i)
            j = n if j < 0 else j
            out.append(' ' * (j - i))
            i = j
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r'[^\n]', ' ', text[i:j]))
            i = j
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == '_')):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            end = text.find(')' + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append(re.sub(r'[^\n]', ' ', text[i:j]))
            i = j
        elif c in '"\'':
            # A digit separator (1'000) is not a character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum():
                out.append(' ')
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != '\n':
                j += 2 if text[j] == '\\' else 1
            j = min(j + 1, n)
            out.append(' ' * (j - i))
            i = j
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def blank_preprocessor(text):
    return re.sub(r'^[ \t]*#.*(?:\\\n.*)*', lambda m: re.sub(r'[^\n]', ' ', m.group(0)), text,
                  flags=re.M)


def is_function(lead):
    depth = 0
    for k, c in enumerate(lead):
        if c in '([':
            depth += 1
        elif c in ')]':
            depth -= 1
        elif c == '=' and depth == 0:
            before, after = lead[k - 1:k], lead[k + 1:k + 2]
            if before not in '=!<>+-*/%&|^' and after != '=' and not lead[:k].rstrip().endswith('operator'):
                return False
    return '(' in lead


def long_functions(path, limit):
    with open(path, encoding='utf-8', errors='replace') as f:
        raw = f.read()
    lines = raw.split('\n')
    code = blank_preprocessor(blank_literals(raw))
    found = []
    stack = []  # per open brace: ('scope'|'function'|'data'|'inner', start offset, lead-in)
    lead_start = 0
    for i, c in enumerate(code):
        if c == '{':
            inside = stack[-1][0] if stack else 'scope'
            if inside == 'scope':
                lead = code[lead_start:i]
                kind = 'scope' if SCOPE.match(lead) else 'function' if is_function(lead) else 'data'
                name = re.findall(r'([~\w:]+(?:\s*<[^(]*>)?)\s*\(', lead)
                stack.append((kind, i, name[0] if name else lead.strip()[:40]))
            else:
                stack.append(('inner', i, ''))
            lead_start = i + 1
        elif c == '}':
            if stack:
                kind, start, name = stack.pop()
                if kind == 'function':
                    first = code.count('\n', 0, start)
                    last = code.count('\n', 0, i)
                    body = sum(1 for line in lines[first:last + 1] if line.strip())
                    if body > limit:
                        found.append((body, first + 1, name))
            lead_start = i + 1
        elif c == ';' and (not stack or stack[-1][0] == 'scope'):
            lead_start = i + 1
        elif c == ':' and (not stack or stack[-1][0] == 'scope'):
            # Access labels (public:) end a lead-in; a '::' or a constructor's
            # initialiser list does not.
            if re.search(r'\b(?:public|private|protected)\s*$', code[lead_start:i]):
                lead_start = i + 1
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--max', type=int, default=60, help='most non-blank body lines allowed')
    parser.add_argument('paths', nargs='*', default=['ribotrace', 'common', 'pairnex', 'bench', 'tests'])
    args = parser.parse_args()
    files = []
    for p in args.paths:
        if os.path.isfile(p):
            files.append(p)
        for root, _, names in os.walk(p):
            files.extend(os.path.join(root, n) for n in sorted(names) if n.endswith(SOURCES))
    hits = 0
    for path in sorted(files):
        for body, line, name in long_functions(path, args.max):
            print(f'{path}:{line}: {name} ({body} lines)')
            hits += 1
    return 1 if hits else 0


if __name__ == '__main__':
    sys.exit(main())
