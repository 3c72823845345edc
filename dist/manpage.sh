#!/usr/bin/env bash
# Makes a program's manual page from the program's own --help, so the two cannot say different
# things:
#   manpage.sh quervin|quervin-cli PROGRAM VERSION OUTPUT.gz
# What it reads of a help text (Qt's QCommandLineParser layout):
#   Usage: PROGRAM [options]
#   description lines, each a paragraph; a line that starts with the program's name is a form
#   of its use (SYNOPSIS); "Exit status: 0 …, 1 …" is a section of its own, an item a number;
#   "Files:" or "Environment:" alone on a line heads a section whose items follow, one a
#   line, indented, the name apart from its text by two spaces or more;
#   Options: then each option, its text going on in the lines indented below it.
set -euo pipefail

page=${1:?usage: $0 quervin|quervin-cli PROGRAM VERSION OUTPUT.gz}
program=${2:?usage: $0 quervin|quervin-cli PROGRAM VERSION OUTPUT.gz}
version=${3:?usage: $0 quervin|quervin-cli PROGRAM VERSION OUTPUT.gz}
output=${4:?usage: $0 quervin|quervin-cli PROGRAM VERSION OUTPUT.gz}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quervin-man.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# Splits one help text into roff pieces in $tmp: description, options, synopsis and one file a
# section (exit-status, files, environment). `lead` opens what this text adds to a section.
to_roff() {
    local part=$1 lead=$2
    awk -v dir="$tmp" -v part="$part" -v lead="$lead" -v name="$page" '
    # Roff: a backslash is \e, a line never starts with a control character, and the hyphens
    # of an option (-h, --record-file) are minus signs, as options are typed.
    function esc(s,    out, i, c, prev, opt) {
        gsub(/\\/, "\\e", s)
        out = ""; prev = " "; opt = 0
        for (i = 1; i <= length(s); i++) {
            c = substr(s, i, 1)
            if (c == "-" && (opt || index(" ([=,|/", prev) > 0)) { out = out "\\-"; opt = 1 }
            else { if (c !~ /[A-Za-z0-9_-]/) opt = 0; out = out c }
            prev = c
        }
        if (out ~ /^[.\047]/) out = "\\&" out
        return out
    }
    # An option or item name in bold, its <ARGUMENT> in italics.
    function term(s) {
        s = esc(s)
        gsub(/</, "\\fI", s); gsub(/>/, "\\fB", s)
        return "\\fB" s "\\fR"
    }
    function emit(file, text) { print text >> (dir "/" file) }
    function opened(file) {
        if (!(file in started)) {
            started[file] = 1
            if (lead != "") emit(file, ".PP\n" esc(lead))
        }
    }
    # "0 the run was carried out, 1 it was refused, …": one item a number.
    function statuses(text,    at) {
        opened("exit-status")
        if (text !~ /^[0-9]+ /) { emit("exit-status", ".PP\n" esc(text)); return }
        while (text != "") {
            at = match(text, /, [0-9]+ /)
            item = at ? substr(text, 1, at - 1) : text
            text = at ? substr(text, at + 2) : ""
            sub(/\.$/, "", item)
            at = index(item, " ")
            emit("exit-status", ".TP\n.B " substr(item, 1, at - 1) "\n" esc(substr(item, at + 1)))
        }
    }
    function flush() {
        if (optName != "") emit(part "-options", ".TP\n" term(optName) "\n" esc(optText))
        optName = ""
    }
    NR == 1 && /^Usage: / { next }
    /^Options:$/ { inOptions = 1; block = ""; next }
    inOptions && /^  -/ {
        flush()
        line = substr($0, 3)
        at = match(line, /   */)
        optName = at ? substr(line, 1, at - 1) : line
        optText = at ? substr(line, at + RLENGTH) : ""
        next
    }
    inOptions && /^   +[^ ]/ { sub(/^ +/, ""); optText = optText " " $0; next }
    inOptions { next }
    /^(Files|Environment):$/ { block = tolower(substr($0, 1, length($0) - 1)); opened(block); next }
    block != "" && /^  [^ ]/ {
        line = substr($0, 3)
        at = match(line, /   */)
        emit(block, ".TP\n" term(substr(line, 1, at - 1)) "\n" esc(substr(line, at + RLENGTH)))
        next
    }
    { block = "" }
    /^Exit status: / { statuses(substr($0, 14)); next }
    index($0, name " ") == 1 {
        emit("synopsis", ".br\n" term(name) " " esc(substr($0, length(name) + 2)) " [\\fIoptions\\fR]")
        next
    }
    /^$/ { next }
    { emit(part "-description", ".PP\n" esc($0)) }
    END { flush() }
    '
}

section() {
    [ -s "$tmp/$2" ] || return 0
    echo ".SH $1"
    cat "$tmp/$2"
}

cli_page() {
    "$program" --help | to_roff main ""
    "$program" --script FILE --help | to_roff script "quervin-cli --script:"
    "$program" history --help | to_roff history "quervin-cli history:"
    echo '.TH QUERVIN-CLI 1 "" "QuervinStudio '"$version"'" "User Commands"'
    echo '.SH NAME'
    echo 'quervin-cli \- Oracle SQL tuning runs, scripts and recorded runs from the command line'
    echo '.SH SYNOPSIS'
    echo '\fBquervin-cli\fR [\fIoptions\fR] [\fB\-\-sql\fR \fITEXT\fR | \fB\-\-sql\-file\fR \fIFILE\fR]'
    echo '.br'
    echo '\fBquervin-cli\fR \fB\-\-script\fR \fIFILE\fR [\fIoptions\fR]'
    cat "$tmp/synopsis"
    section DESCRIPTION main-description
    section OPTIONS main-options
    section "RUNNING A SCRIPT" script-description
    echo '.PP'
    echo 'Its options:'
    cat "$tmp/script-options"
    section "RECORDED RUNS" history-description
    echo '.PP'
    echo 'Its options:'
    cat "$tmp/history-options"
    section "EXIT STATUS" exit-status
    section ENVIRONMENT environment
    section FILES files
    echo '.SH SEE ALSO'
    echo '\fBquervin\fR(1)'
}

window_page() {
    "$program" --help | to_roff main ""
    echo '.TH QUERVIN 1 "" "QuervinStudio '"$version"'" "User Commands"'
    echo '.SH NAME'
    echo 'quervin \- QuervinStudio, a tool that tunes one Oracle SQL statement at a time'
    echo '.SH SYNOPSIS'
    echo '\fBquervin\fR [\fIoptions\fR]'
    section DESCRIPTION main-description
    section OPTIONS main-options
    section ENVIRONMENT environment
    section FILES files
    echo '.SH SEE ALSO'
    echo '\fBquervin-cli\fR(1)'
}

case $page in
quervin-cli) cli_page >"$tmp/page" ;;
quervin) window_page >"$tmp/page" ;;
*)
    echo "no manual page is made for $page" >&2
    exit 2
    ;;
esac
# Every part must be there: an empty one means a help text changed its layout.
parts=(main-description main-options files environment)
[ "$page" = quervin ] || parts+=(synopsis script-options history-options exit-status)
for part in "${parts[@]}"; do
    [ -s "$tmp/$part" ] || { echo "$page --help gave no $part" >&2; exit 1; }
done
gzip -9n <"$tmp/page" >"$output.tmp"
mv "$output.tmp" "$output"
