#!/usr/bin/env bash
# Builds the Debian package and proves it from an unpacked copy, never installing it: the
# command line, the window opened from the installed module, lintian and the validators.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh package-check
bash scripts/package.sh
deb=build/package/quillbox_1.0.0-1_amd64.deb
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
dpkg-deb -x "$deb" "$root"
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen
quillbox=$root/usr/bin/quillbox
module=$(echo "$root"/usr/lib/*/quillbox/quillbox-addin.so)
fail() { echo "package check: $*" >&2; exit 1; }

for binary in "$root"/usr/bin/* "$module"; do
  ! strings "$binary" | grep -F "$PWD" || fail "$binary names the build folder"
done

# init copies the installed data: mark the installed help page and look for the mark.
echo '<!-- installed -->' >>"$root/usr/share/quillbox/quillbox_help.html"
"$quillbox" --version | grep '^Quillbox 1\.00 ' || fail "quillbox --version"
"$quillbox" init --samples
grep -q '<!-- installed -->' "$XDG_DATA_HOME/Quillbox/Quillbox Ver 1.html" || fail "the help page is not the installed one"
heading=$("$quillbox" list | head -n 1)
[[ -n $heading ]] || fail "quillbox list printed no sample"
"$quillbox" show "$heading" | grep -F "$heading" || fail "quillbox show \"$heading\""
for completion in bash-completion/completions/quillbox zsh/vendor-completions/_quillbox \
  fish/vendor_completions.d/quillbox.fish; do
  [[ -f $root/usr/share/$completion ]] || fail "the package has no $completion"
done
# The desktop's search: GNOME's provider file, KRunner's plugin, and the bus's service, which
# starts the installed program.
for file in gnome-shell/search-providers/org.example.quillbox.search-provider.ini \
  krunner/dbusplugins/quillbox-krunner.desktop dbus-1/services/org.example.quillbox.SearchProvider.service; do
  [[ -f $root/usr/share/$file ]] || fail "the package has no $file"
done
grep -qx 'Exec=/usr/bin/quillbox search-provider' \
  "$root/usr/share/dbus-1/services/org.example.quillbox.SearchProvider.service" ||
  fail "the bus's service file does not start /usr/bin/quillbox"
grep -qx 'Exec=quillbox pick' "$root/usr/share/applications/quillbox.desktop" ||
  fail "the desktop entry has no action that picks a snippet"
[[ $(dpkg-deb -f "$deb" Recommends Suggests) == $'Recommends: libqt6sql6-psql\nSuggests: postgresql-client' ]] ||
  fail "the package does not recommend the server's driver and suggest its client"
"$root/usr/bin/quillbox-host" --register | grep -F "$module is registered" || fail "quillbox-host --register"

# The window: quillbox keeps running only while its window is displayed, and the module it
# has mapped must be the unpacked one.
"$quillbox" 2>"$work/window.log" &
pid=$!
for _ in $(seq 40); do
  grep -qF "$module" "/proc/$pid/maps" 2>/dev/null && break
  sleep 0.5
done
sleep 2
kill -0 "$pid" 2>/dev/null || { cat "$work/window.log"; fail "quillbox did not keep its window open"; }
modules=$(grep -o '/.*quillbox-addin\.so' "/proc/$pid/maps" | sort -u)
kill "$pid"
wait "$pid" || true
[[ $modules == "$module" ]] || fail "quillbox loaded ${modules:-no module}, not $module"
echo "quillbox opened its window with $module"

lintian --fail-on error --info "$deb"
desktop-file-validate "$root/usr/share/applications/quillbox.desktop"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
echo "The package passed every check."
