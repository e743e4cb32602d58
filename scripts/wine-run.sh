#!/bin/bash
# Runs a Windows program under Wine in the scripts' Wine environment. The test
# script exports WINEPREFIX and DISPLAY; a test run by hand uses the tests'
# prefix (which the test command makes).
. "$(dirname "$0")/lib/session.sh"
wine_environment "${WINEPREFIX:-$(test_wine_prefix)}"
exec wine "$@"
