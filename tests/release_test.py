#!/usr/bin/env python3
"""What release.py decides on the glibc that the README names, on the release machine and off
it, for check-release and for the release, whatever machine this is: each case ends as it must,
saying in one line what it names."""
import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "scripts"))
import release  # noqa: E402

ELSEWHERE = "packages built here need glibc 2.38; releases are made on Debian 12, whose packages need 2.35"
# Each case: the machine (os-release ID and VERSION_ID, "" for none, as Debian's testing has);
# the mode, with its own build or not; the figures that the README names; whether it says yes;
# the packages' Depends lines; and what its one line must hold.
CASES = [
    (("debian", "12"), "check", False, ["2.35"], True, ["libc6 (>= 2.35)", "libc6 (>= 2.34)"],
     "README.md names glibc 2.35 or later for the packages"),
    (("debian", "12"), "check", False, ["2.35"], True, ["libc6 (>= 2.35), libgcc-s1"],
     "README.md names glibc 2.35 or later for the packages"),
    (("debian", "12"), "check", False, ["2.35"], False, ["libc6 (>= 2.35)", "libc6 (>= 2.36)"],
     "need glibc 2.36; README.md names 2.35: name glibc 2.36 there"),
    (("debian", "12"), "check", False, ["2.36"], False, ["libc6 (>= 2.35)", "libc6 (>= 2.34)"],
     "need glibc 2.35; README.md names 2.36"),
    (("debian", "12"), "check", False, ["2.35"], True, ["libc6 (>= 2.4)", "libc6 (>= 2.35)"],
     "README.md names glibc 2.35 or later"),
    (("debian", "13"), "check", False, ["2.35"], True, ["libc6 (>= 2.38)", "libc6 (>= 2.38)"],
     f"did not compare the glibc that README.md names with the packages': {ELSEWHERE}"),
    (("raspbian", "12"), "check", False, ["2.35"], True, ["libc6 (>= 2.34)"], "did not compare"),
    (("debian", ""), "check", False, ["2.35"], True, ["libc6 (>= 2.41)"], "did not compare"),
    (("debian", "12"), "check", False, [], False, ["libc6 (>= 2.35)"],
     "names the packages' glibc as nothing"),
    (("debian", "12"), "check", False, ["2.35", "2.35"], True, ["libc6 (>= 2.35)"],
     "README.md names glibc 2.35 or later"),
    (("debian", "12"), "check", False, ["2.35", "2.36"], False, ["libc6 (>= 2.35)"],
     "names the packages' glibc as 2.35,2.36"),
    (("debian", "13"), "check", False, ["2.35"], False, ["libstdc++6 (>= 13)"],
     "depends on glibc of no version (Depends: libstdc++6 (>= 13))"),
    (("debian", "12"), "release", False, ["2.35"], True, ["libc6 (>= 2.35)", "libc6 (>= 2.34)"],
     "need glibc 2.35; README.md names 2.35"),
    (("debian", "12"), "release", False, ["2.35"], False, ["libc6 (>= 2.36)"],
     "need glibc 2.36; README.md names 2.35; name glibc 2.36 there, or set RELEASE_OWN_BUILD=1"),
    (("debian", "13"), "release", False, ["2.35"], False, ["libc6 (>= 2.38)", "libc6 (>= 2.38)"],
     f"{ELSEWHERE}; make the release on Debian 12, or set RELEASE_OWN_BUILD=1 for a build of your own"),
    (("debian", "13"), "release", True, ["2.35"], True, ["libc6 (>= 2.38)"],
     f"{ELSEWHERE}; made anyway"),
    (("ubuntu", "22.04"), "release", False, ["2.35"], True, ["libc6 (>= 2.35)"],
     "need glibc 2.35; README.md names 2.35"),
]


class GlibcTest(unittest.TestCase):
    def test_cases(self):
        for machine, mode, own, figures, yes, depends, says in CASES:
            with self.subTest(machine=machine, mode=mode, own=own, readme=figures, depends=depends), \
                    tempfile.TemporaryDirectory() as folder:
                readme = pathlib.Path(folder, "README.md")
                readme.write_text("".join(f"Debian 12 and later: glibc {figure} or later\n"
                                          for figure in figures))
                try:
                    said, said_yes = release.glibc(mode, machine, readme, depends, own), True
                except release.Refusal as refusal:
                    said, said_yes = str(refusal), False
                self.assertEqual(said_yes, yes, said)
                self.assertIn(says, said)
                self.assertNotIn("\n", said)

    def test_os_release(self):
        with tempfile.TemporaryDirectory() as folder:
            path = pathlib.Path(folder, "os-release")
            path.write_text('PRETTY_NAME="Debian GNU/Linux 12"\nID=debian\nVERSION_ID="12"\n')
            self.assertEqual(release.os_release(path), ("debian", "12"))
            path.write_text("ID='ubuntu'\nVERSION_ID='22.04'\n")
            self.assertEqual(release.os_release(path), ("ubuntu", "22.04"))
            path.write_text("ID=debian\n")
            self.assertEqual(release.os_release(path), ("debian", ""))


if __name__ == "__main__":
    unittest.main()
