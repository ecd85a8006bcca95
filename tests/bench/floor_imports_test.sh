#!/usr/bin/env bash
# The load figure's floor imports exactly the functions that the plug-in imports, so that the ratio
# leaves out what binding those imports costs any module.
# Usage: floor_imports_test.sh VIREOPLUGIN.DLL EMPTYMODULE.DLL
set -euo pipefail
imports() { llvm-readobj-16 --coff-imports "$1" | awk '/Name:/ { dll = toupper($2) } /Symbol:/ { print dll, $2 }' | LC_ALL=C sort; }
plugin=$(imports "$1")
[ -n "$plugin" ] || { echo "FAILED: no imports read from $1"; exit 1; }
diff <(echo "$plugin") <(imports "$2") || { echo "FAILED: the floor's imports are not the plug-in's"; exit 1; }
echo "floor imports: passed"
