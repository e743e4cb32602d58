#!/usr/bin/env python3
"""Checks that every project include stays inside its library's dependencies.

The libraries and what each uses are read from the CMake files themselves:
a folder's library is made of the targets whose sources lie in it (a target
without sources: the folder of its CMake file), and it uses what those
targets link (target_link_libraries, otp_add_test's LIBRARIES). A source
belongs to the library whose folder is the longest prefix of its path; it
may include headers of its own library and of the libraries that library
uses, directly or through them. Both the Windows and the native branches of
the CMake files count. A folder whose CMake file starts a project of its own
is not part of this one.

Usage: check-layers.py [root]   (the repository root by default)
"""
import os
import re
import subprocess
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SOURCE_SUFFIXES = (".cpp", ".h", ".rc")
COMMAND = re.compile(r"\b([A-Za-z_]\w*)\s*\(([^()]*)\)", re.DOTALL)
COMMENT = re.compile(r"#[^\n]*")
# Words of the target commands that are no source or library.
KEYWORDS = {"STATIC", "SHARED", "OBJECT", "INTERFACE", "MODULE", "WIN32", "EXCLUDE_FROM_ALL", "PUBLIC",
            "PRIVATE"}
TEST_FLAGS = {"WINDOWS_ONLY", "NATIVE_ONLY", "NO_MAIN"}


def cmake_files(root, listed):
    """The CMake files of the project at `root`, without nested projects."""
    files = sorted(p for p in listed if os.path.basename(p) == "CMakeLists.txt")
    nested = [os.path.dirname(p) for p in files if os.path.dirname(p) and "project(" in read(root, p)]
    outside = lambda path: any(path.startswith(folder + "/") for folder in nested)
    return [p for p in files if not outside(p)], outside


def read(root, path):
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as file:
        return file.read()


def targets_of(root, cmake_file):
    """{target: (source folders, linked names)} declared in one CMake file."""
    folder = os.path.dirname(cmake_file)
    targets = {}
    elsewhere = set()  # targets of sources named through variables: not the project's own

    def target(name):
        return targets.setdefault(name, (set(), set()))

    def add_sources(name, words):
        for word in words:
            word = word.replace("${CMAKE_CURRENT_SOURCE_DIR}/", "")
            if word in KEYWORDS:
                continue
            if "${" in word or "$<" in word:
                elsewhere.add(name)
                continue
            target(name)[0].add(os.path.normpath(os.path.dirname(os.path.join(folder, word))).replace("\\", "/"))

    for command, arguments in COMMAND.findall(COMMENT.sub("", read(root, cmake_file))):
        words = arguments.split()
        command = command.lower()
        if not words or "${" in words[0] or "::" in words[0]:
            continue
        if command in ("add_library", "add_executable"):
            if "ALIAS" in words or "IMPORTED" in words:
                continue
            target(words[0])
            add_sources(words[0], words[1:])
        elif command == "target_sources" and words[0] in targets:
            add_sources(words[0], words[1:])
        elif command == "target_link_libraries":
            target(words[0])[1].update(w for w in words[1:] if w not in KEYWORDS)
        elif command == "otp_add_test":
            part, name, sources, libraries = None, None, [], []
            for word in words:
                if word in ("NAME", "SOURCES", "LIBRARIES"):
                    part = word
                elif word not in TEST_FLAGS:
                    if part == "NAME":
                        name = word
                    elif part == "SOURCES":
                        sources.append(word)
                    elif part == "LIBRARIES":
                        libraries.append(word)
            if name:
                target(name)
                add_sources(name, sources)
                target(name)[1].update(libraries)
    # A target without sources (an interface) belongs to the folder of its CMake file.
    for name, (sources, _) in targets.items():
        if not sources and name not in elsewhere:
            sources.add(folder or ".")
    return targets


def libraries_of(root, listed):
    """{folder: (label, folders it uses)} and the test for paths of nested projects."""
    files, outside = cmake_files(root, listed)
    targets = {}
    for cmake_file in files:
        for name, (folders, links) in targets_of(root, cmake_file).items():
            known = targets.setdefault(name, (set(), set()))
            known[0].update(folders)
            known[1].update(links)
    libraries = {}
    for name, (folders, links) in targets.items():
        for folder in folders:
            names, uses = libraries.setdefault(folder, ([], set()))
            names.append(name)
            for link in links:
                if link in targets:
                    uses.update(targets[link][0])
    return {folder: ("/".join(sorted(names)), uses) for folder, (names, uses) in libraries.items()}, outside


def library_of(libraries, path):
    """The folder of the library that holds `path` most closely, or None."""
    best = None
    for folder in libraries:
        if (folder == "." or path.startswith(folder + "/")) and (best is None or len(folder) > len(best)):
            best = folder
    return best


def reachable(libraries, folder):
    seen, pending = set(), [folder]
    while pending:
        current = pending.pop()
        if current not in seen:
            seen.add(current)
            pending.extend(libraries[current][1])
    return seen


def check(root, paths, libraries):
    problems = []
    for path in paths:
        owner = library_of(libraries, path)
        if owner is None:
            continue
        allowed = reachable(libraries, owner)
        for header in INCLUDE.findall(read(root, path)):
            target = library_of(libraries, header)
            if target is None and os.path.exists(os.path.join(root, os.path.dirname(path), header)):
                continue  # beside the source (generated or local)
            if target is None:
                problems.append(f"{path}: includes \"{header}\", which no library owns")
            elif target not in allowed:
                problems.append(f"{path}: includes \"{header}\" of {libraries[target][0]}, which "
                                f"{libraries[owner][0]} does not depend on")
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    listed = subprocess.run(["git", "ls-files", "-z", "--", "."], cwd=root, capture_output=True,
                            check=True).stdout.decode().split("\0")
    libraries, outside = libraries_of(root, listed)
    paths = [p for p in listed if p.endswith(SOURCE_SUFFIXES) and not outside(p)]
    problems = check(root, paths, libraries)
    for problem in problems:
        print("check-layers: " + problem)
    if problems:
        print(f"check-layers: {len(problems)} include(s) cross a layer; link the library in CMake "
              "(target_link_libraries), or move the header")
        return 1
    print(f"check-layers: all includes of {len(paths)} sources stay within their libraries' dependencies")
    return 0


if __name__ == "__main__":
    sys.exit(main())
