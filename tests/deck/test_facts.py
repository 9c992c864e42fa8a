"""The copies of facts.py that CMake and C++ read say what facts.py says:
CMake's lists of each option read back by CMake itself, and the C++ values
of each choice compiled with src/options.h (which must take them from the
generated header and define none of its own) and printed, and the picture
symbols img.h links against named as facts.py names them."""
import os
import shutil
import subprocess
import tempfile
import unittest

from support import ROOT

import facts


class Copies(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)

    def write(self, kind, name):
        path = os.path.join(self.folder, name)
        self.assertEqual(facts.main([kind, path]), 0)
        return path

    def test_cmake_reads_each_option_as_facts_has_it(self):
        cmake = os.environ.get("DECK_CMAKE") or shutil.which("cmake")
        script = os.path.join(self.folder, "print.cmake")
        with open(script, "w") as f:
            f.write('include("%s")\n' % self.write("cmake", "facts.cmake")
                    + 'foreach(n ${FACT_OPTIONS})\n'
                    '  set(cxx)\n'
                    '  foreach(v ${FACT_${n}_VALUES})\n'
                    '    list(APPEND cxx "${FACT_${n}_CXX_${v}}")\n'
                    '  endforeach()\n'
                    '  message("${n}|${FACT_${n}_KIND}|${FACT_${n}_DEFAULT}|'
                    '${FACT_${n}_VALUES}|${cxx}|${FACT_${n}_FIELDS}")\n'
                    'endforeach()\n'
                    'foreach(a ${FACT_ARCHITECTURES})\n'
                    '  message("${a}|${FACT_BOOT_NAME_${a}}|${FACT_TARGET_${a}}")\n'
                    'endforeach()\n')
        result = subprocess.run([cmake, "-P", script], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        expected = ["%s|%s|%s|%s|%s|%s" % (o.name, o.kind, o.default, ";".join(o.values),
                                          ";".join(o.cxx_names or o.cxx_values),
                                          ";".join(o.field.split()))
                    for o in facts.OPTIONS]
        expected += ["%s|%s|%s" % (m.arch, m.boot_name, m.target) for m in facts.MACHINES]
        self.assertEqual(result.stderr.splitlines(), expected)

    def test_cxx_values_are_the_positions_of_the_choices(self):
        compiler = (os.environ.get("DECK_CLANG") or shutil.which("clang++")
                    or shutil.which("c++"))
        self.write("header", "option_values.h")
        named = [(name, number) for o in facts.OPTIONS
                 for number, name in enumerate(o.cxx_names)]
        self.assertIn(("screens_presenter", 2), named)
        program = os.path.join(self.folder, "values.cpp")
        with open(program, "w") as f:
            f.write('#include "options.h"\n#include <stdio.h>\nint main() {\n'
                    + "".join('    printf("%%s %%u\\n", "%s", (unsigned)%s);\n' % (name, name)
                              for name, _ in named)
                    + "}\n")
        binary = os.path.join(self.folder, "values")
        subprocess.run([compiler, "-std=c++17", "-I" + os.path.join(ROOT, "src"),
                        "-I" + self.folder, program, "-o", binary], check=True)
        printed = subprocess.run([binary], capture_output=True, text=True, check=True).stdout
        self.assertEqual(printed.splitlines(), ["%s %d" % pair for pair in named])

    def test_the_viewer_links_the_picture_symbols_the_build_makes(self):
        compiler = os.environ.get("DECK_CLANG") or shutil.which("clang++")
        program = os.path.join(self.folder, "symbols.cpp")
        with open(program, "w") as f:
            f.write('#include "img.h"\n#define TEXT(x) #x\n#define SHOWN(x) TEXT(x)\n'
                    'const char *start = SHOWN(PICTURE_START(brov_07));\n'
                    'const char *end = SHOWN(PICTURE_END(brov_07));\n')
        shown = subprocess.run([compiler, "-E", "-P", "-I" + os.path.join(ROOT, "src"), program],
                               capture_output=True, text=True, check=True).stdout
        symbol = facts.picture_symbol("brov_07")
        self.assertIn('start = "%s_start";' % symbol, shown)
        self.assertIn('end = "%s_end";' % symbol, shown)


if __name__ == "__main__":
    unittest.main()
