"""What the deck tools, the build and the tests share: the picture set the
image links in, and the raw pictures themselves."""
