#!/usr/bin/env python3
"""Checks that every project include stays inside its library's dependencies.

A source belongs to the library whose folder is the longest prefix of its
path; it may include headers of its own library and of the libraries that
library depends on, directly or through them. The table mirrors the
target_link_libraries of the CMake files: a dependency added to one must be
added to the other.

Usage: check-layers.py [root]   (the repository root by default)
"""
import os
import re
import subprocess
import sys

# library: (folders, libraries it depends on)
LIBRARIES = {
    "otp_text": (["text"], []),
    "otp_random": (["random"], []),
    "otp_vendor": (["vendor"], ["otp_text"]),  # with its loader and the module path
    "otp_files": (["files"], ["otp_random"]),  # the bit mix of its temporary names
    "otp_resource_ids": (["resources"], []),
    "otp_seed_files": (["provisioning/seed_files"], ["otp_files", "otp_random", "otp_text", "otp_vendor"]),
    "otp_newtoken_core": (["provisioning/form"], ["otp_text", "otp_random", "otp_vendor", "otp_seed_files"]),
    "otp_framework": (["framework"], []),
    "otp_newtoken_dialog": (["provisioning/form/win"], ["otp_newtoken_core", "otp_framework", "otp_resource_ids"]),
    "otp_mainwindow_core": (["mainwindow"], ["otp_text", "otp_vendor", "otp_newtoken_core", "otp_seed_files"]),
    "otp_mainwindow_win": (["mainwindow/win"], ["otp_mainwindow_core", "otp_framework", "otp_resource_ids"]),
    "otp_app_shell": (["app"], ["otp_mainwindow_win", "otp_newtoken_dialog"]),
    "virtualkey_core": (["virtualkey"], ["otp_vendor", "otp_files", "otp_text", "otp_resource_ids"]),
    "otp_test_support": (["tests/support"], ["otp_vendor", "otp_files"]),
    "otp_tool_driver": (["tests/e2e"], ["otp_test_support", "otp_text", "otp_resource_ids", "bench"]),
    "bench": (["bench"], ["otp_seed_files", "otp_resource_ids", "otp_tool_driver"]),
    # The tests of a library may use it and the shared test support; the
    # window tests also drive the windows and the program's run.
    "tests_text": (["tests/text"], ["otp_text"]),
    "tests_random": (["tests/random"], ["otp_random"]),
    "tests_vendor": (["tests/vendor"], ["otp_vendor", "otp_test_support"]),
    "tests_files": (["tests/files"], ["otp_files", "otp_test_support"]),
    "tests_framework": (["tests/framework"], ["otp_framework", "otp_files"]),
    "tests_provisioning": (["tests/provisioning"], ["otp_seed_files", "otp_test_support"]),
    "tests_form": (["tests/provisioning/form"], ["otp_newtoken_dialog", "otp_test_support"]),
    "tests_mainwindow": (["tests/mainwindow"], ["otp_app_shell", "otp_test_support"]),
    "tests_virtualkey": (["tests/virtualkey"], ["virtualkey_core", "otp_test_support"]),
    "tests_app": (["tests/app"], ["otp_app_shell"]),
    "tests_release": (["tests/release"], ["otp_tool_driver"]),
    "tests_docs": (["tests/docs"], []),
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SOURCE_SUFFIXES = (".cpp", ".h", ".rc")


def library_of(path):
    """The library whose folder holds `path` most closely, or None."""
    best, best_length = None, -1
    for name, (folders, _) in LIBRARIES.items():
        for folder in folders:
            if path.startswith(folder + "/") and len(folder) > best_length:
                best, best_length = name, len(folder)
    return best


def reachable(name):
    seen, pending = set(), [name]
    while pending:
        current = pending.pop()
        if current not in seen:
            seen.add(current)
            pending.extend(LIBRARIES[current][1])
    return seen


def check(root, paths):
    problems = []
    for path in paths:
        owner = library_of(path)
        if owner is None:
            continue
        allowed = reachable(owner)
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            text = source.read()
        for header in INCLUDE.findall(text):
            target = library_of(header)
            if target is None and os.path.exists(os.path.join(root, os.path.dirname(path), header)):
                continue  # beside the source (generated or local)
            if target is None:
                problems.append(f"{path}: includes \"{header}\", which no library owns")
            elif target not in allowed:
                problems.append(f"{path}: includes \"{header}\" of {target}, which {owner} does not depend on")
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    listed = subprocess.run(["git", "ls-files", "-z"], cwd=root, capture_output=True, check=True).stdout
    paths = [p for p in listed.decode().split("\0") if p.endswith(SOURCE_SUFFIXES)]
    problems = check(root, paths)
    for problem in problems:
        print("check-layers: " + problem)
    if problems:
        print(f"check-layers: {len(problems)} include(s) cross a layer; declare the dependency here and in CMake, or move the header")
        return 1
    print(f"check-layers: all includes of {len(paths)} sources stay within their libraries' dependencies")
    return 0


if __name__ == "__main__":
    sys.exit(main())
