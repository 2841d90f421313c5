# Sourced by the Wine scripts: the environment of the test run's private Wine prefix.
#   CV_WINE_DIR: folder holding prefix/ and home/
# Wine never sees the real HOME: a fresh prefix links Desktop, Documents and so on into $HOME.
export WINEPREFIX="$CV_WINE_DIR/prefix"
export HOME="$CV_WINE_DIR/home"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts, no menu entries written into HOME.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
# The 32-bit loader cannot run where the kernel cannot execute 32-bit code; the 64-bit one runs
# the 64-bit Windows build.
CV_WINE_LOADER=${CV_WINE_LOADER:-/usr/lib/wine/wine64}
