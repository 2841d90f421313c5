# Sourced by the Wine scripts: the environment of the test run's private Wine prefix and the loader of
# the chosen Windows build.
#   CV_WINE_DIR: folder holding prefix/ and home/
#   CV_WINE_ARCH: win32 or win64 (the build whose programs run; auto or unset: tools/wine-arch.sh picks)
# Wine never sees the real HOME: a fresh prefix links Desktop, Documents and so on into $HOME.
export WINEPREFIX="$CV_WINE_DIR/prefix"
export HOME="$CV_WINE_DIR/home"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts, no menu entries written into HOME.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
source "$(dirname "${BASH_SOURCE[0]}")/wine-arch.sh"
if ! cv_wine_choose "${CV_WINE_ARCH:-auto}"; then
  echo "wine: $cv_wine_choice" >&2
  exit 1
fi
export CV_WINE_ARCH=$cv_wine_arch
CV_WINE_LOADER=$(cv_wine_loader "$CV_WINE_ARCH")
