#!/usr/bin/env bash
# Refreshes every translation in resources/translations/ from the sources:
# new texts come in unfinished, texts no longer used go. Run it after adding
# or changing a text a user reads, then translate what is unfinished (Qt
# Linguist, or any editor) and rebuild.
#   tools/update-translations.sh            every language there is
#   tools/update-translations.sh pt_BR ...  adds these languages first
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=$(command -v lupdate || true)
[ -x /usr/lib/qt6/bin/lupdate ] && lupdate=/usr/lib/qt6/bin/lupdate
[ -n "$lupdate" ] || { echo "update-translations.sh: lupdate not found (qt6-l10n-tools)" >&2; exit 1; }
ts=()
for lang in "$@"; do ts+=("resources/translations/quillet_$lang.ts"); done
for file in resources/translations/quillet_*.ts; do
  [[ " ${ts[*]} " == *" $file "* ]] || ts+=("$file")
done
# No line numbers: a change elsewhere in a file leaves the translations as they are.
"$lupdate" -locations none -no-obsolete main.cpp player platform -ts "${ts[@]}"
