"""The guard rule, held: every COM method of the DLLs runs its body through ComBoundary, or is
listed in unguarded.txt with why it reaches no allocation (nothing of C++ that can throw). A
method neither guarded nor listed fails, as does a listed one that is gone, guarded since, or
whose body now builds a string or a container.

    python3 guards.py ROOT LIST
"""
import fnmatch
import os
import re
import sys

AREAS = ['comframe', 'codec', 'navigator', 'format', 'preview', 'module']
# What marks a body that can allocate: C++ strings and containers, new, and the pane's layout.
ALLOCATES = re.compile(r'std::|\bnew\b|make_shared|make_unique|push_back|emplace|resize|reserve|wstring|Layout\(')
DECLARED = re.compile(r'STDMETHODCALLTYPE\s+(\w+)\s*\(')


def read(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        return f.read()


def block(text, at):
    """The text from the brace at `at` to its closing brace."""
    depth = 0
    for i in range(at, len(text)):
        if text[i] == '{':
            depth += 1
        elif text[i] == '}':
            depth -= 1
            if depth == 0:
                return text[at:i + 1]
    return text[at:]


def body_after(text, start):
    """The body of the function whose parameter list opens just before `start`; None for a declaration."""
    depth, i = 1, start
    while i < len(text) and depth:
        depth += {'(': 1, ')': -1}.get(text[i], 0)
        i += 1
    rest = re.match(r'[^;{}]*\{', text[i:i + 300])
    return block(text, i + rest.end() - 1) if rest else None


def methods(root):
    """Every COM method defined in the areas: (class::method, its body)."""
    files = []
    for area in AREAS:
        for folder, _, names in os.walk(os.path.join(root, area)):
            files += [os.path.join(folder, n) for n in names if n.endswith(('.h', '.cpp'))]
    declared = set()  # (class, method) that a class declares with the COM calling convention
    found = {}
    for path in files:
        text = read(path)
        for cls in re.finditer(r'\b(?:class|struct)\s+(\w+)\s*(?:final\s*)?(?::[^;{]*)?\{', text):
            inside = block(text, cls.end() - 1)
            for m in DECLARED.finditer(inside):
                declared.add((cls.group(1), m.group(1)))
                body = body_after(inside, m.end())
                if body is not None:
                    found[cls.group(1) + '::' + m.group(1)] = body
    for path in files:
        text = read(path)
        for m in re.finditer(r'^[A-Za-z_][\w:<>,* ]*?\b(\w+)::(\w+)\s*\(', text, re.M):
            if (m.group(1), m.group(2)) not in declared:
                continue
            body = body_after(text, m.end())
            if body is not None:
                found[m.group(1) + '::' + m.group(2)] = body
    return found


def main(root, listing):
    listed = {}
    for line in read(listing).splitlines():
        line = line.strip()
        if line and not line.startswith('#'):
            name, _, why = line.partition(' ')
            listed[name] = why.strip()
    found = methods(root)
    problems = []
    used = set()
    for name, body in sorted(found.items()):
        guarded = 'ComBoundary(' in body
        entry = next((e for e in listed if fnmatch.fnmatchcase(name, e)), None)
        if entry:
            used.add(entry)
        if not guarded and not entry:
            problems.append('%s runs outside the guard and is not listed with why it cannot allocate' % name)
        elif entry and guarded:
            problems.append('%s is listed as unguarded but runs through the guard' % name)
        elif entry and ALLOCATES.search(body):
            problems.append('%s is listed as unguarded but its body can allocate' % name)
        elif entry and not listed[entry]:
            problems.append('%s is listed without a reason' % entry)
    problems += ['%s is listed but names no COM method here' % e for e in sorted(set(listed) - used)]
    for p in problems:
        print(p)
    guarded = sum(1 for b in found.values() if 'ComBoundary(' in b)
    print('%d COM methods: %d through the guard, %d listed as reaching no allocation; %d problem(s)' %
          (len(found), guarded, len(found) - guarded, len(problems)))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1], sys.argv[2]))
