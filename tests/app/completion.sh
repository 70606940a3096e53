#!/usr/bin/env bash
# The bash completion called as bash calls it, with COMP_WORDS and COMP_CWORD set, over a
# library made here. Usage: completion.sh FOLDER-OF-QUILLBOX COMPLETION-FILE
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config PATH=$1:$PATH
unset QUILLBOX_LIBRARY
quillbox init >/dev/null
for heading in 'Swap two values' 'Swap tiles' 'Write a file' "It's here" 'Say "hi" $HOME'; do
  echo 'x = 1' | quillbox add "$heading"
done
touch "$work/a file.json"
source "$2"
failed=0
# expect REPLIES WORD...: the words typed, the last one being completed; the replies joined by |.
expect() {
  local want=$1 got
  shift
  COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE} COMPREPLY=()
  _quillbox quillbox "${!#}" "${COMP_WORDS[COMP_CWORD - 1]}" || : # compopt fails outside a completion
  got=$(IFS='|' && echo "${COMPREPLY[*]}")
  [[ $got == "$want" ]] || { echo "FAIL: $*<TAB> gave [$got], not [$want]"; failed=1; }
}

expect 'Swap\ two\ values|Swap\ tiles' quillbox show 'Swap\ t'
expect 'Swap two values|Swap tiles' quillbox show '"Swap t'
expect 'Swap\ tiles' quillbox delete '"Swap "ti'
expect 'Write a file' quillbox show --crlf -- "'Wri"
expect "It'\\''s here" quillbox rename "'It"
expect "It\\'s\\ here" quillbox show It
expect 'Say \"hi\" \$HOME' quillbox show '"Say'
expect '' quillbox show Nothing
expect '--samples|--server' quillbox init --s
expect 'postgresql://' quillbox init --server p
expect '--verbose' quillbox import --v
expect 'copy' quillbox co
expect 'Swap\ tiles' quillbox edit 'Swap\ ti'
expect 'Write\ a\ file' quillbox copy --defaults Wr
expect '--fill' quillbox copy --fi
expect '--json' quillbox search --j
expect "$work/a file.json" quillbox import "$work/a\\ f"
exit $failed
