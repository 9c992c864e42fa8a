"""slidedeck/overview.py: the grid at several slide sizes, and a rendered
page: every thumbnail the slide reduced, pure background within a gutter
of each, its number below, the rest of a short page empty."""
import unittest

import support  # noqa: F401  (puts slidedeck/ on the path)
from PIL import Image
from slidedeck import overview

SIZES = ((320, 240), (640, 480), (800, 600), (1024, 768), (1280, 720), (1920, 1080),
         (3840, 2160), (7680, 4320), (1080, 1920), (2000, 500))


class Grid(unittest.TestCase):
    def test_thumbnails_fit_and_stay_large_enough(self):
        for size in SIZES:
            with self.subTest(size=size):
                g = overview.grid(size)
                self.assertTrue(1 <= g.columns <= 6 and 1 <= g.rows <= 6)
                self.assertGreaterEqual(g.width * overview.LARGEST_REDUCTION, size[0])
                self.assertGreaterEqual(g.height * overview.LARGEST_REDUCTION, size[1])
                # The slide's shape, to the pixel.
                self.assertLessEqual(abs(g.width * size[1] - g.height * size[0]), size[0])
                self.assertEqual(g.gutter, max(12, size[0] // 80))
                self.assertGreaterEqual(min(g.left, g.top), g.gutter)
                self.assertEqual(g.step_x, g.width + 2 * g.gutter)
                self.assertEqual(g.step_y, g.height + 2 * g.gutter + overview.number_rows(size))
                right = g.left + (g.columns - 1) * g.step_x + g.width + g.gutter
                bottom = g.top + (g.rows - 1) * g.step_y + g.height + 2 * g.gutter + \
                    overview.number_rows(size)
                self.assertLessEqual(right, size[0])
                self.assertLessEqual(bottom, size[1])
                # One more column or row would break the reduction limit.
                for more in ((g.columns + 1, g.rows), (g.columns, g.rows + 1)):
                    w, h = overview.thumbnail_fit(size, *more)
                    self.assertTrue(more[0] > 6 or more[1] > 6 or
                                    w * overview.LARGEST_REDUCTION < size[0] or
                                    h * overview.LARGEST_REDUCTION < size[1], more)

    def test_grids_at_common_sizes(self):
        self.assertEqual(overview.grid((640, 480))[:2], (4, 3))
        self.assertEqual(overview.grid((1024, 768))[:2], (5, 4))
        self.assertEqual(overview.grid((1920, 1080))[:2], (5, 4))
        self.assertEqual(overview.page_count(12, (640, 480)), 1)
        self.assertEqual(overview.page_count(13, (640, 480)), 2)
        self.assertEqual(overview.page_names(47, (640, 480)),
                         ["overview_01", "overview_02", "overview_03", "overview_04"])


class Page(unittest.TestCase):
    def test_a_short_page(self):
        size = (800, 600)
        g = overview.grid(size)
        colours = [(200, 30 * n % 256, 90) for n in range(1, 4)]
        slides = [Image.new("RGB", size, c) for c in colours]
        page = overview.render_page(size, slides, 41)
        pixels = page.load()
        background = overview.BACKGROUND
        label = overview.number_rows(size)
        for index in range(g.columns * g.rows):
            x, y = overview.thumbnail_place(g, index)
            for py in range(y - g.gutter, y + g.height + g.gutter):
                for px in range(x - g.gutter, x + g.width + g.gutter):
                    inside = x <= px < x + g.width and y <= py < y + g.height
                    expected = colours[index] if inside and index < 3 else background
                    self.assertEqual(pixels[px, py], expected, (index, px, py))
            number = [pixels[px, py] for py in range(y + g.height + g.gutter,
                                                    y + g.height + g.gutter + label)
                      for px in range(x, x + g.width)]
            if index < 3:
                self.assertIn(overview.NUMBER_COLOUR, number, index)
            else:
                self.assertEqual(set(number), {background}, index)


if __name__ == "__main__":
    unittest.main()
