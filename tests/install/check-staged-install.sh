#!/usr/bin/env bash
# check-staged-install.sh BUILD_DIR SOURCE_DIR SHOW.sdt: installs the build
# tree into a temporary DESTDIR under /usr and checks what a desktop reads
# there: the file list, the hack's link, the manual pages, the bash
# completion, the desktop entry, the MIME type and the thumbnailer.
set -euo pipefail
build=$1
source=$2
show=$3
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

DESTDIR=$stage/root cmake --install "$build" --prefix /usr >/dev/null
root=$stage/root
share=$root/usr/share

echo "== the file list"
diff -u "$source/tests/install/installed-files.txt" <(cd "$root" && find . \( -type f -o -type l \) | LC_ALL=C sort) ||
    fail "the installed files differ from tests/install/installed-files.txt"
[ "$(readlink "$root/usr/libexec/xscreensaver/lurva")" = ../../bin/lurva ] || fail "the hack is not a relative link to bin/lurva"
[ "$(readlink -f "$root/usr/libexec/xscreensaver/lurva")" = "$(readlink -f "$root/usr/bin/lurva")" ] || fail "the hack's link is broken"

echo "== the manual pages render"
for page in lurva sdtool; do
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$share/man/man1/$page.1.gz" >"$stage/$page.txt" 2>"$stage/$page.err"
    [ ! -s "$stage/$page.err" ] || fail "man -l $page.1.gz warns: $(cat "$stage/$page.err")"
    grep -q "^NAME" "$stage/$page.txt" || fail "$page.1.gz renders no NAME section"
    grep -q "^EXIT STATUS" "$stage/$page.txt" || fail "$page.1.gz has no EXIT STATUS section"
done

echo "== the bash completion loads and completes"
mkdir -p "$stage/shows/folder"
touch "$stage/shows/a.sdt" "$stage/shows/b.txt" "$stage/shows/c.png"
complete_line() {
    # The completions bash offers at the end of the line $1.
    (cd "$stage/shows" && bash --norc --noprofile -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        complete -p sdtool >/dev/null || exit 3
        read -ra COMP_WORDS <<<"$2"
        [[ $2 == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE=$2
        COMP_POINT=${#COMP_LINE}
        _sdtool sdtool "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | tr "\n" " "' _ "$share/bash-completion/completions/sdtool" "$1")
}
expect_completion() {
    local got
    got=$(complete_line "$1") || fail "the completion script does not load or run (status $?)"
    [ "$got" = "$2" ] || fail "completing '$1' gives '$got', not '$2'"
}
expect_completion "sdtool " "--help --version check help info pack render thumbnail "
expect_completion "sdtool th" "thumbnail "
expect_completion "sdtool render show.sdt --ti" "--tick --ticks "
expect_completion "sdtool info " "a.sdt folder "
expect_completion "sdtool thumbnail a.sdt " "c.png folder "
expect_completion "sdtool help r" "render "

echo "== the desktop entry and the MIME type validate"
desktop-file-validate "$share/applications/lurva.desktop" || fail "desktop-file-validate"
xmllint --noout "$share/mime/packages/lurva.xml" || fail "xmllint"
grep -q '^Exec=lurva --window %f$' "$share/applications/lurva.desktop" || fail "the main action is not lurva --window"
grep -q '^Exec=lurva %f$' "$share/applications/lurva.desktop" || fail "no action runs lurva FILE"

echo "== a show is recognised by its name and by its first bytes"
update-mime-database "$share/mime" >/dev/null
cp "$show" "$stage/shows/demo.sdt"
cp "$show" "$stage/shows/renamed"
printf 'not a show' >"$stage/shows/plain"
mime_of() {
    XDG_CURRENT_DESKTOP=GNOME XDG_DATA_HOME="$stage/nothing" XDG_DATA_DIRS="$share:/usr/share" xdg-mime query filetype "$1"
}
for file in demo.sdt renamed; do
    [ "$(mime_of "$stage/shows/$file")" = application/x-lurva-show ] ||
        fail "xdg-mime gives '$(mime_of "$stage/shows/$file")' for $file"
done
[ "$(mime_of "$stage/shows/plain")" != application/x-lurva-show ] || fail "a file that is no show is taken for one"

echo "== the thumbnailer, run as a file manager runs it"
grep -q '^MimeType=application/x-lurva-show;$' "$share/thumbnailers/lurva.thumbnailer" || fail "the thumbnailer's MIME type"
exec_line=$(sed -n 's/^Exec=//p' "$share/thumbnailers/lurva.thumbnailer")
read -ra command <<<"$exec_line"
out=$stage/thumbnail.png
for i in "${!command[@]}"; do
    case ${command[i]} in
        %i) command[i]=$stage/shows/renamed ;;
        %u) command[i]=file://$stage/shows/renamed ;;
        %o) command[i]=$out ;;
        %s) command[i]=256 ;;
    esac
done
PATH=$root/usr/bin:$PATH "${command[@]}" || fail "the thumbnailer command failed: ${command[*]}"
file "$out" | grep -q "PNG image data, 256 x 192" || fail "the thumbnail is $(file "$out")"
echo "all checked"
