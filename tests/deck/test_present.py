"""tools/present's command line: which options are its own wherever they
stand, what goes to import-deck and to boot.py, and the commands it runs
from them; all without building or booting anything."""
import importlib.machinery
import importlib.util
import os
import subprocess
import tempfile
import unittest

from support import PYTHON, ROOT, TOOLS

PRESENT = os.path.join(TOOLS, "present")


def load_present():
    loader = importlib.machinery.SourceFileLoader("present", PRESENT)
    found = importlib.util.spec_from_loader("present", loader)
    module = importlib.util.module_from_spec(found)
    loader.exec_module(module)
    return module


present = load_present()


def plan(*arguments, kept_size=None):
    return present.commands(present.parse(list(arguments)), kept_size)


class Arguments(unittest.TestCase):
    def test_default_deck_builds_only_the_image_it_boots(self):
        configure, build, boot = plan()
        self.assertEqual(configure[:7], ["cmake", "-S", ".", "-B", "build", "-G", "Ninja"])
        self.assertEqual(configure[7:], ["-DDECK_PICTURES=", "-DPRESENTER_KEYS=OFF",
                                         "-DPICTURE_COMPRESSION=", "-DSCREENS=first"])
        self.assertEqual(build, ["cmake", "--build", "build", "--target", "efi_image"])
        self.assertEqual(boot, ["/usr/bin/python3", "tools/boot.py", "build/bootdisk.img"])

    def test_without_a_talk_every_other_argument_goes_to_boot(self):
        configure, _, boot = plan("--vga-size", "800x600", "--scale", "fill", "--arch", "aa64")
        self.assertIn("-DSLIDE_SCALE=fill", configure)
        self.assertEqual(boot[3:], ["--vga-size", "800x600", "--arch", "aa64"])
        _, _, boot = plan("--", "--headless")
        self.assertEqual(boot[3:], ["--headless"])

    def test_a_talk_is_on_every_screen_the_default_deck_on_the_first(self):
        _, configure, _, _ = plan("talk.pdf")
        self.assertEqual(configure[-1], "-DSCREENS=mirror")
        configure, _, _ = plan()
        self.assertEqual(configure[-1], "-DSCREENS=first")
        _, configure, _, boot = plan("talk.pdf", "--", "--screens", "first", "--second-screen")
        self.assertEqual(configure[-1], "-DSCREENS=first")
        self.assertEqual(boot[3:], ["--second-screen"])
        configure, _, _ = plan("--screens=mirror")
        self.assertEqual(configure[-1], "-DSCREENS=mirror")

    def test_the_presenter_screen_builds_the_console_and_its_talk_length(self):
        _, configure, _, boot = plan("talk.pdf", "--presenter-screen", "--",
                                     "--talk-minutes", "20", "--second-screen")
        self.assertEqual(configure[-2:], ["-DSCREENS=presenter", "-DTALK_MINUTES=20"])
        self.assertEqual(boot[3:], ["--second-screen"])
        configure, _, _ = plan("--presenter-screen")
        self.assertEqual(configure[-1], "-DSCREENS=presenter")
        configure, _, _ = plan("--screens", "presenter", "--presenter-screen")
        self.assertEqual(configure[-1], "-DSCREENS=presenter")
        configure, _, _ = plan("--talk-minutes", "0")
        self.assertIn("-DTALK_MINUTES=0", configure)

    def test_a_talk_is_imported_compressed_with_presenter_keys(self):
        imported, configure, _, boot = plan("talk.pdf", "--background", "white", "--size",
                                            "1920x1080", "--", "--vga-size", "1920x1080")
        talk = os.path.realpath("talk.pdf")
        deck = os.path.join(ROOT, "build", "talk")
        self.assertEqual(imported, ["/usr/bin/python3", "tools/import-deck", talk, "-o", deck,
                                    "--compression", "lz4", "--size", "1920x1080",
                                    "--background", "white"])
        self.assertEqual(configure[7:], ["-DDECK_PICTURES=" + deck, "-DSLIDE_SIZE=1920x1080",
                                         "-DSLIDE_SCALE=fill", "-DSCREEN_MODE=keep",
                                         "-DPRESENTER_KEYS=ON", "-DPICTURE_COMPRESSION=lz4",
                                         "-DSCREENS=mirror"])
        self.assertEqual(boot[3:], ["--vga-size", "1920x1080"])

    def test_own_options_are_read_anywhere_even_past_the_separator(self):
        imported, configure, _, boot = plan("--compression=none", "talk.pdf", "--default-keys",
                                            "--listing1", "one.png", "--", "--secure-boot-shim",
                                            "--scale=whole", "--headless")
        self.assertEqual(imported[5:], ["--compression", "none", "--size", "auto", "--listing1",
                                       "one.png"])
        self.assertIn("-DPRESENTER_KEYS=OFF", configure)
        self.assertIn("-DPICTURE_COMPRESSION=none", configure)
        self.assertIn("-DSLIDE_SCALE=whole", configure)
        self.assertIn("-DSECURE_BOOT_SHIM=ON", configure)
        self.assertEqual(boot[3:], ["--secure-boot-shim", "--headless"])

    def test_a_talk_is_imported_with_auto_unless_given_sizes(self):
        imported, configure, _, _ = plan("talk.pdf", kept_size="1024x768")
        self.assertEqual(imported[-2:], ["--size", "auto"])
        self.assertFalse([option for option in configure if "SLIDE_SIZE" in option])
        imported, configure, _, _ = plan("talk.pdf", "--size", "800x600,1024x768",
                                         kept_size="1024x768")
        self.assertEqual(imported[-2:], ["--size", "800x600,1024x768"])
        self.assertIn("-DSLIDE_SIZE=800x600,1024x768", configure)

    def test_a_folder_import_deck_made_is_presented_as_it_is(self):
        with tempfile.TemporaryDirectory() as folder:
            open(os.path.join(folder, "brov_01.bgra"), "wb").close()
            configure, _, _ = plan(folder, "--background", "white")
            self.assertIn("-DDECK_PICTURES=" + os.path.realpath(folder), configure)
            self.assertIn("-DPRESENTER_KEYS=ON", configure)

    def test_the_size_the_build_folder_keeps_is_read_from_its_cache(self):
        with tempfile.TemporaryDirectory() as build:
            self.assertIsNone(present.kept_slide_size(build))
            with open(os.path.join(build, "CMakeCache.txt"), "w") as cache:
                cache.write("SLIDE_SCALE:STRING=off\nSLIDE_SIZE:STRING=1920x1080\n")
            self.assertEqual(present.kept_slide_size(build), "1920x1080")

    def test_bad_values_stop_it_before_anything_is_installed_or_built(self):
        for arguments, problem in ((["--scale", "sideways"], "--scale: invalid choice"),
                                   (["--compression", "zip"], "--compression: invalid choice"),
                                   (["--screens", "all"], "--screens: invalid choice"),
                                   (["--size", "big"], "big: must be WIDTHxHEIGHT"),
                                   (["--talk-minutes", "1000"], "1000: must be a whole"),
                                   (["--presenter-screen", "--screens", "mirror"],
                                    "--presenter-screen: not with --screens mirror"),
                                   (["talk.pdf", "--size"], "--size: expected one argument")):
            with self.subTest(arguments=arguments):
                result = subprocess.run([PYTHON, PRESENT] + arguments, capture_output=True,
                                        text=True, timeout=60)
                self.assertEqual(result.returncode, 2)
                self.assertIn(problem, result.stderr)
                self.assertEqual(result.stdout, "")


if __name__ == "__main__":
    unittest.main()
