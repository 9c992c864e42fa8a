#!/usr/bin/python3
"""Signing for Secure Boot as a presenter meets it: tools/make-signing-key,
a build configured with SIGNING_KEY and SIGNING_CERT (and SECURE_BOOT_SHIM,
the disk that boots through shim), and the bad inputs the build must
refuse, naming the file, without ever asking for a passphrase. Each case
configures (and some build) a build folder of their own, with the pictures
of an already built tree.

usage: signing_test.py SOURCE_DIR BUILT_TREE
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = BUILT = None
CERTIFICATE_ON_DISK = "::/EFI/KEYS/SLIDESDB.CER"
IMAGE_ON_DISK = "::/EFI/BOOT/%s.EFI"
# Debian's Microsoft-signed shim and MokManager, as cmake/signing.cmake
# takes them.
SHIM = "/usr/lib/shim/shimx64.efi.signed"
MOK_MANAGER = "/usr/lib/shim/mmx64.efi.signed"
# The build signs the image of each machine.
IMAGE_NAMES = ("BOOTX64", "BOOTAA64")
# Enough for a build of the image from ready pictures on a loaded machine.
COMMAND_TIMEOUT = 240


def run(command, **options):
    """Runs a command with no terminal to ask on; its result."""
    return subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=COMMAND_TIMEOUT, **options)


def openssl(*arguments):
    subprocess.run(["openssl"] + list(arguments), check=True, capture_output=True,
                   stdin=subprocess.DEVNULL)


def built_setting(name):
    """A cache entry of the built tree, so that a build of our own makes the
    same image."""
    with open(os.path.join(BUILT, "CMakeCache.txt")) as cache:
        for line in cache:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].rstrip("\n")
    return ""


def from_disk(disk, path):
    """A file's bytes from the EFI system partition of a disk image."""
    result = subprocess.run(["mcopy", "-i", disk + "@@1M", path, "-"], capture_output=True,
                            check=False)
    return result.stdout if result.returncode == 0 else None


class Signing(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Outside the repository: make-signing-key refuses a folder in it.
        cls.work = tempfile.mkdtemp(prefix="signing-test.")
        cls.build = os.path.join(cls.work, "build")
        keys = os.path.join(cls.work, "keys")
        made = run([os.path.join(SOURCE, "tools", "make-signing-key"), keys])
        assert made.returncode == 0, made.stderr
        cls.made_output = made.stdout
        cls.key = os.path.join(keys, "signing.key")
        cls.cert = os.path.join(keys, "signing.pem")
        f = cls.file
        # A pair that works, but not with the first.
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj", "/CN=other",
                "-keyout", f("other.key"), "-out", f("other.pem"))
        # A certificate that expired in 2020: openssl ca alone sets past dates.
        os.makedirs(f("ca"))
        open(f("ca/index.txt"), "w").close()
        with open(f("ca/serial"), "w") as serial:
            serial.write("01\n")
        with open(f("ca.cnf"), "w") as config:
            config.write("[ca]\ndefault_ca = old\n[old]\ndatabase = %s\nnew_certs_dir = %s\n"
                         "serial = %s\ndefault_md = sha256\npolicy = any\n[any]\n"
                         "commonName = supplied\n" % (f("ca/index.txt"), f("ca"), f("ca/serial")))
        openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=expired",
                "-keyout", f("expired.key"), "-out", f("expired.csr"))
        openssl("ca", "-batch", "-notext", "-config", f("ca.cnf"), "-selfsign",
                "-keyfile", f("expired.key"), "-in", f("expired.csr"), "-out", f("expired.pem"),
                "-startdate", "20200101000000Z", "-enddate", "20200102000000Z")
        # The first key again, protected by a passphrase.
        openssl("pkey", "-in", cls.key, "-aes256", "-passout", "pass:open sesame",
                "-out", f("locked.key"))
        for name, text in (("right.pass", "open sesame\n"), ("wrong.pass", "guess\n")):
            with open(f(name), "w") as passphrase:
                passphrase.write(text)

    @classmethod
    def file(cls, name):
        """A path in the test's own folder."""
        return os.path.join(cls.work, name)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def configure(self, key="", cert="", passphrase="", shim=False, shim_file=SHIM,
                  mok_manager=MOK_MANAGER):
        return run(["cmake", "-S", SOURCE, "-B", self.build, "-G", "Ninja",
                    "-DDECK_PICTURES=" + os.path.join(BUILT, "bgra"),
                    "-DSLIDE_SCALE=" + (built_setting("SLIDE_SCALE") or "off"),
                    "-DSIGNING_KEY=" + key, "-DSIGNING_CERT=" + cert,
                    "-DSIGNING_KEY_PASSPHRASE_FILE=" + passphrase,
                    "-DSECURE_BOOT_SHIM=" + ("ON" if shim else "OFF"),
                    "-DSHIM_FILE=" + shim_file, "-DMOK_MANAGER_FILE=" + mok_manager])

    def build_disk(self):
        return run(["cmake", "--build", self.build, "--target", "efi_image"])

    def output(self, name):
        return os.path.join(self.build, name)

    def test_bad_inputs_stop_the_configure_naming_the_file(self):
        f = self.file
        key, cert = self.key, self.cert
        cases = [
            # (what, configure's arguments, file named, words of the reason)
            ("missing key", dict(key=f("none.key"), cert=cert), f("none.key"), "no such file"),
            ("missing certificate", dict(key=key, cert=f("none.pem")), f("none.pem"),
             "no such file"),
            ("certificate without key", dict(cert=cert), "SIGNING_KEY", "both"),
            ("key of another certificate", dict(key=key, cert=f("other.pem")), key,
             "does not belong"),
            ("expired certificate", dict(key=f("expired.key"), cert=f("expired.pem")),
             f("expired.pem"), "expired on Jan  2 00:00:00 2020"),
            ("passphrase not given", dict(key=f("locked.key"), cert=cert), f("locked.key"),
             "protected by a passphrase"),
            ("wrong passphrase", dict(key=f("locked.key"), cert=cert, passphrase=f("wrong.pass")),
             f("locked.key"), "does not open"),
            ("certificate given as the key", dict(key=cert, cert=cert), cert,
             "not a PEM private key"),
            ("shim without a key", dict(shim=True), "SECURE_BOOT_SHIM",
             "needs SIGNING_KEY and SIGNING_CERT"),
            ("shim missing", dict(key=key, cert=cert, shim=True, shim_file=f("none-shim.efi")),
             f("none-shim.efi"), "install the Debian package shim-signed"),
            ("MokManager missing",
             dict(key=key, cert=cert, shim=True, mok_manager=f("none-mm.efi")),
             f("none-mm.efi"), "install the Debian package shim-helpers-amd64-signed"),
        ]
        for what, arguments, named, reason in cases:
            with self.subTest(what):
                result = self.configure(**arguments)
                message = " ".join(result.stderr.split())
                self.assertNotEqual(result.returncode, 0, "the configure accepted it")
                self.assertIn(named, message)
                self.assertIn(" ".join(reason.split()), message)

    def check_shim_disk(self, disk):
        """Shim as BOOTX64.EFI, MokManager beside it, the signed x86-64 image
        as grubx64.efi, the ARM64 one as it always was; no fallback."""
        for path, name in ((SHIM, "BOOTX64.EFI"), (MOK_MANAGER, "mmx64.efi"),
                           (self.output("BOOTX64.signed.EFI"), "grubx64.efi"),
                           (self.output("BOOTAA64.signed.EFI"), "BOOTAA64.EFI")):
            with open(path, "rb") as source:
                self.assertTrue(from_disk(disk, "::/EFI/BOOT/" + name) == source.read(),
                                "the disk's %s is not %s" % (name, path))
        self.assertIsNone(from_disk(disk, "::/EFI/BOOT/fbx64.efi"))

    def check_signed_images(self, cert):
        """Each signed image verifies with the certificate and no other, and
        passes the image check as a signed one (.sbat and all)."""
        for name, arch in zip(IMAGE_NAMES, ("x64", "aa64")):
            signed = self.output(name + ".signed.EFI")
            self.assertEqual(run(["sbverify", "--cert", cert, signed]).returncode, 0)
            self.assertNotEqual(run(["sbverify", "--cert", self.file("other.pem"),
                                     signed]).returncode, 0)
            checked = run([sys.executable, os.path.join(SOURCE, "tests", "image", "check_image.py"),
                           "--arch", arch, "--signed", signed, self.output(name + ".sbat.map"),
                           os.path.join(BUILT, "bgra")])
            self.assertEqual(checked.returncode, 0, checked.stderr[-3000:])

    def test_signed_build_and_back(self):
        """A build with a passphrase-protected key and SECURE_BOOT_SHIM makes
        the shim disk around the signed images; without SECURE_BOOT_SHIM the
        disk holds the signed images themselves and the certificate beside
        them; a certificate that expires later stops the build and leaves no
        signed image; without a key, the disk holds the image exactly as the
        default build links it."""
        f = self.file
        key, cert = f("key-in-use.key"), f("cert-in-use.pem")
        shutil.copyfile(f("locked.key"), key)
        shutil.copyfile(self.cert, cert)
        configured = self.configure(key, cert, f("right.pass"), shim=True)
        self.assertEqual(configured.returncode, 0, configured.stderr)
        built = self.build_disk()
        self.assertEqual(built.returncode, 0, built.stdout + built.stderr)
        disk = self.output("bootdisk.img")
        self.check_shim_disk(disk)
        self.check_signed_images(cert)

        configured = self.configure(key, cert, f("right.pass"))
        self.assertEqual(configured.returncode, 0, configured.stderr)
        built = self.build_disk()
        self.assertEqual(built.returncode, 0, built.stdout + built.stderr)
        self.assertIsNone(from_disk(disk, "::/EFI/BOOT/grubx64.efi"))
        for name in IMAGE_NAMES:
            signed = self.output(name + ".signed.EFI")
            with open(signed, "rb") as image:
                self.assertTrue(from_disk(disk, IMAGE_ON_DISK % name) == image.read(),
                                "the disk's %s.EFI is not the signed image" % name)
        der = subprocess.run(["openssl", "x509", "-in", cert, "-outform", "DER"],
                             capture_output=True, check=True).stdout
        self.assertTrue(from_disk(disk, CERTIFICATE_ON_DISK) == der,
                        "no certificate in DER form at %s" % CERTIFICATE_ON_DISK)

        # The certificate is replaced by an expired one after configuring.
        shutil.copyfile(f("expired.key"), key)
        shutil.copyfile(f("expired.pem"), cert)
        failed = self.build_disk()
        self.assertNotEqual(failed.returncode, 0)
        self.assertIn(cert + ": the certificate expired", failed.stdout + failed.stderr)
        for name in IMAGE_NAMES:
            self.assertFalse(os.path.exists(self.output(name + ".signed.EFI")),
                             "a signed image outlived a failed signing")
        self.assertEqual([name for name in os.listdir(self.build) if ".tmp" in name], [])

        configured = self.configure()
        self.assertEqual(configured.returncode, 0, configured.stderr)
        for name in ("bootdisk.img", "BOOTX64.signed.EFI", "BOOTAA64.signed.EFI", "SLIDESDB.CER"):
            self.assertFalse(os.path.exists(self.output(name)),
                             "%s from the signed build outlived its settings" % name)
        built = self.build_disk()
        self.assertEqual(built.returncode, 0, built.stdout + built.stderr)
        with open(self.output("BOOTX64.EFI"), "rb") as ours, \
                open(os.path.join(BUILT, "BOOTX64.EFI"), "rb") as default:
            linked = ours.read()
            self.assertTrue(linked == default.read(), "the unsigned image differs from the "
                            "default build's")
        self.assertTrue(from_disk(disk, IMAGE_ON_DISK % "BOOTX64") == linked,
                        "the disk's BOOTX64.EFI is not the unsigned image")
        self.assertIsNone(from_disk(disk, CERTIFICATE_ON_DISK))

    def test_make_signing_key(self):
        """It says where the files went and what to pass the build; it never
        overwrites a key, and never writes into the repository."""
        for path in (self.key, self.cert):
            self.assertIn(path, self.made_output)
        self.assertIn("-DSIGNING_KEY=%s -DSIGNING_CERT=%s" % (self.key, self.cert),
                      self.made_output)
        self.assertEqual(os.stat(self.key).st_mode & 0o077, 0, "the key is readable by others")
        with open(self.key, "rb") as key:
            before = key.read()
        again = run([os.path.join(SOURCE, "tools", "make-signing-key"), os.path.dirname(self.key)])
        self.assertNotEqual(again.returncode, 0)
        self.assertIn(self.key + " already exists", again.stderr)
        with open(self.key, "rb") as key:
            self.assertEqual(key.read(), before)

        inside = os.path.join(SOURCE, "signing-test-keys")
        refused = run([os.path.join(SOURCE, "tools", "make-signing-key"), inside])
        self.assertNotEqual(refused.returncode, 0)
        self.assertIn("inside the repository", refused.stderr)
        self.assertFalse(os.path.exists(inside))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    SOURCE, BUILT = (os.path.abspath(path) for path in sys.argv[1:])
    unittest.main(argv=sys.argv[:1], verbosity=2)
