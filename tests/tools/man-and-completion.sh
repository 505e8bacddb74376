#!/usr/bin/env bash
# The manual page and the bash completion say what the tool's help says: the page
# renders without warnings and has every command's section, and the completion
# offers exactly the options each command's --help lists.
# Usage: man-and-completion.sh KIVREPORT MANPAGE COMPLETION
set -euo pipefail
tool=$1 page=$2 completion=$3
status=0

warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "groff warns about $page: $warnings"; status=1; }
rendered=$(groff -man -Tutf8 "$page" 2>/dev/null | sed 's/.\x08//g')
for section in "repo create" "repo show" "repo export" generate validate summarize "template controls" KIVREPORT_SOFFICE; do
  grep -q "$section" <<<"$rendered" || { echo "the manual page lacks '$section'"; status=1; }
done

# shellcheck source=/dev/null
source "$completion"
offered() {  # the completions of `kivreport WORDS... -`
  COMP_WORDS=(kivreport "$@" -)
  COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))
  COMPREPLY=()
  _kivreport
  printf '%s\n' "${COMPREPLY[@]}" | sort -u
}
# The options of every command, which the main help lists once.
common="-h --help -v --verbose -q --quiet"
for command in "repo create" "repo show" "repo export" generate validate summarize "template controls"; do
  # shellcheck disable=SC2086
  listed=$({ "$tool" $command --help; echo "$common"; } | grep -oE '(^|[ ,([])--?[a-z0-9][a-z0-9-]*' |
           grep -oE -- '-.*' | sort -u)
  # shellcheck disable=SC2086
  got=$(offered $command)
  if [ "$listed" != "$got" ]; then
    echo "completion of '$command' differs from its help (< help, > completion):"
    diff <(echo "$listed") <(echo "$got") || true
    status=1
  fi
done
exit $status
