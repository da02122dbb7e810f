#!/usr/bin/env python3
"""The template check finds each kind of fault: each case copies the
templates and the contract, breaks one thing, and expects the check to name it."""
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_policy_templates  # noqa: E402

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")

CASES = [
    # (what, file, text replaced, replacement, a problem that must be reported)
    ("https namespace", "installer/policies/Kestrix.admx",
     'xmlns="http://schemas', 'xmlns="https://schemas', "not policyDefinitions"),
    ("string missing in one language", "installer/policies/fr-FR/Kestrix.adml",
     '<string id="GridColor_Help">', '<string id="GridColour_Help">', "fr-FR: string GridColor_Help is not defined"),
    ("presentation missing", "installer/policies/ko-KR/Kestrix.adml",
     '<presentation id="BlockRows">', '<presentation id="Rows">', "ko-KR: presentation BlockRows is not defined"),
    ("control naming no element", "installer/policies/ru-RU/Kestrix.adml",
     '<textBox refId="BarColor">', '<textBox refId="BarColour">', "presentation BarColor shows BarColour"),
    ("key outside the policies", "installer/policies/Kestrix.admx",
     'name="UpdateCheck" class="Machine" displayName="$(string.UpdateCheck)" '
     'explainText="$(string.UpdateCheck_Help)" key="Software\\Policies\\VELMOR\\Kestrix"',
     'name="UpdateCheck" class="Machine" displayName="$(string.UpdateCheck)" '
     'explainText="$(string.UpdateCheck_Help)" key="Software\\VELMOR\\Kestrix"',
     "policy UpdateCheck: key Software\\VELMOR\\Kestrix is not under Software\\Policies"),
    ("wrong registry type", "installer/policies/Kestrix.admx",
     '<text id="GridColor" valueName="GridColor"', '<decimal id="GridColor" valueName="GridColor"',
     "writes GridColor as REG_DWORD, the programs read REG_SZ"),
    ("a new setting without a policy", "src/config/Contract.def",
     "KX_SETTING_BOOL(LoadKestrix, 1)", "KX_SETTING_BOOL(LoadKestrix, 1)\nKX_SETTING_COLOR(PeakColor, \"clRed\", \"clRed\")",
     "no policy sets PeakColor (REG_SZ)"),
    ("a policy for the programs' own state", "src/config/Contract.def",
     "KX_PROGRAM_STATE(Handle)\n", "KX_PROGRAM_STATE(Handle)\nKX_PROGRAM_STATE(LoadTrayIcon)\n",
     "writes LoadTrayIcon, which the programs do not read from a policy"),
]


def copy_tree(target):
    shutil.copytree(os.path.join(ROOT, "installer", "policies"), os.path.join(target, "installer", "policies"))
    os.makedirs(os.path.join(target, "src", "config"))
    shutil.copy(os.path.join(ROOT, "src", "config", "Contract.def"), os.path.join(target, "src", "config"))


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        copy_tree(os.path.join(work, "clean"))
        if check_policy_templates.check(os.path.join(work, "clean")):
            print("FAIL: the shipped templates have problems")
            failures += 1
        for index, (what, path, old, new, expected) in enumerate(CASES):
            tree = os.path.join(work, str(index))
            copy_tree(tree)
            full = os.path.join(tree, path)
            text = open(full, encoding="utf-8").read()
            if old not in text:
                print("FAIL: %s: the text to break is not in %s" % (what, path))
                failures += 1
                continue
            with open(full, "w", encoding="utf-8") as out:
                out.write(text.replace(old, new, 1))
            problems = check_policy_templates.check(tree)
            if not any(expected in problem for problem in problems):
                print("FAIL: %s: expected %r among %r" % (what, expected, problems))
                failures += 1
            else:
                print("ok: %s" % what)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
