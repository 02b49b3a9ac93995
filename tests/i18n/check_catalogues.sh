#!/usr/bin/env bash
# The catalogues against the code: po/hopsight.pot holds exactly the texts
# that the sources mark. That every built catalogue translates each of them
# with the same directives is catalogue_test's.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/update-po.sh --check
