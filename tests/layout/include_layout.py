#!/usr/bin/env python3
"""The include rules CMake's link targets cannot see, checked on the source tree.

- No circle of includes inside the code: a .h and its .cpp count as one unit, so a header
  including another whose .cpp includes the first is a circle too.
- Only the connection's own files and the engine's owner include the engine's core.
- The engine's web/, hls/ and stats/ folders include nothing of engine/.

Usage: include_layout.py SOURCE_DIR; prints every breach and exits 1 when there is one.
"""
import os
import re
import sys

CODE = ('src', 'modules', 'base', 'plugins')
CORE_USERS = {'modules/engine/engine/' + f for f in
              ('core.cpp', 'core.h', 'connection.cpp', 'core_actions.cpp', 'engine.cpp')}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main(root):
    files = []
    for top in CODE:
        for folder, _, names in os.walk(os.path.join(root, top)):
            files += [os.path.relpath(os.path.join(folder, n), root)
                      for n in names if n.endswith(('.h', '.cpp', '.c'))]
    by_tail = {}
    for f in files:
        parts = f.split('/')
        for i in range(len(parts)):
            by_tail.setdefault('/'.join(parts[i:]), []).append(f)
    unit = lambda f: os.path.splitext(f)[0]
    edges, breaches = {}, []
    for f in files:
        with open(os.path.join(root, f), errors='replace') as text:
            included = INCLUDE.findall(text.read())
        for name in included:
            if name == 'engine/core.h' and f not in CORE_USERS:
                breaches.append(f'{f} includes engine/core.h')
            if f.startswith(('modules/engine/web/', 'modules/engine/hls/',
                             'modules/engine/stats/')) and name.startswith('engine/'):
                breaches.append(f'{f} includes {name}')
            for target in by_tail.get(name, []):
                if unit(target) != unit(f):
                    edges.setdefault(unit(f), set()).add(unit(target))
    # Depth-first search for a back edge; each circle is reported once by its entry.
    state, path = {}, []

    def visit(node):
        state[node] = 1
        path.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                breaches.append('include circle: ' + ' -> '.join(path[path.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt)
        path.pop()
        state[node] = 2

    sys.setrecursionlimit(10000)
    for node in sorted(edges):
        if node not in state:
            visit(node)
    for b in breaches:
        print(b)
    print(f'{len(files)} files, {sum(map(len, edges.values()))} include edges, '
          f'{len(breaches)} breaches')
    return 1 if breaches else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else '.'))
