#!/bin/sh
# Prints the Debian archives this machine's apt is configured with, one line
# per archive and suite:
#     URI SUITE COMPONENTS... [signed-by=KEYRING]
# read from the deb822 files in /etc/apt/sources.list.d/*.sources and the
# classic one-line files (/etc/apt/sources.list, sources.list.d/*.list), so
# that whatever mirror, proxy or snapshot the machine uses is used by our
# scripts too. Only entries for Debian 12 (bookworm and its -updates and
# -security suites) are printed; disabled and cdrom entries are skipped.
# APT_ETC overrides /etc/apt (for tests).
set -eu
etc=${APT_ETC:-/etc/apt}

classic() {
  # deb [options] uri suite components...
  sed -e 's/#.*//' "$1" | awk '
    $1 != "deb" { next }
    {
      i = 2; signed = ""
      if ($2 ~ /^\[/) {
        # Options run from "[" to the field ending in "]".
        while (i <= NF) {
          opt = $i; gsub(/[][]/, "", opt)
          if (opt ~ /^signed-by=/) signed = opt
          if ($i ~ /\]$/) { i++; break }
          i++
        }
      }
      uri = $i; suite = $(i + 1); comps = ""
      for (j = i + 2; j <= NF; j++) comps = comps " " $j
      line = uri " " suite comps
      if (signed != "") line = line " " signed
      print line
    }'
}

deb822() {
  # Stanzas are separated by blank lines; fields may continue on indented
  # lines (Signed-By can hold an inline key, which is then left to apt's
  # own trusted keys).
  sed -e '/^#/d' "$1" | awk '
    function flush() {
      if (uris != "" && (enabled == "" || enabled == "yes") && types ~ /(^| )deb( |$)/) {
        n = split(uris, u, " "); m = split(suites, s, " ")
        for (a = 1; a <= n; a++) for (b = 1; b <= m; b++) {
          line = u[a] " " s[b] " " comps
          if (signed ~ /^\//) line = line " signed-by=" signed
          print line
        }
      }
      types = uris = suites = comps = signed = enabled = ""; field = ""
    }
    /^[ \t]*$/ { flush(); next }
    /^[ \t]/ { if (field == "signed-by") signed = ""; next }
    {
      field = tolower(substr($0, 1, index($0, ":") - 1))
      value = substr($0, index($0, ":") + 1)
      gsub(/^[ \t]+|[ \t]+$/, "", value); gsub(/[ \t]+/, " ", value)
      if (field == "types") types = value
      else if (field == "uris") uris = value
      else if (field == "suites") suites = value
      else if (field == "components") comps = value
      else if (field == "signed-by") signed = value
      else if (field == "enabled") enabled = tolower(value)
    }
    END { flush() }'
}

{
  [ -f "$etc/sources.list" ] && classic "$etc/sources.list"
  for f in "$etc"/sources.list.d/*.list; do
    [ -f "$f" ] && classic "$f"
  done
  for f in "$etc"/sources.list.d/*.sources; do
    [ -f "$f" ] && deb822 "$f"
  done
} | awk '$1 !~ /^cdrom:/ && $2 ~ /^bookworm(-updates|-security|\/updates)?$/' | awk '!seen[$0]++'
