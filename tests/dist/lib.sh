# Sourced by the dist checks. The caller sets repo, work, port and system.

failures=0
fail() {
  echo "FAIL ($system): $*"
  failures=$((failures + 1))
}

# Ends the check with its count of failures, or else says what passed.
finish() {
  [ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
  echo "$1"
}

# Polls a command every 0.2 s, for at most the given seconds.
wait_for() {
  local tick seconds="$1"
  shift
  for ((tick = 0; tick < seconds * 5; tick++)); do "$@" && return 0; sleep 0.2; done
  "$@"
}

free_port() {
  perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1:0")->sockport'
}

# One HTTP/1.0 GET of a path on the port; prints the reply's body.
http_get() {
  perl -MIO::Socket::INET -e 'alarm 10; my $s = IO::Socket::INET->new(PeerAddr => "127.0.0.1:$ARGV[0]") or exit 1;
    binmode $s; print $s "GET $ARGV[1] HTTP/1.0\r\n\r\n"; local $/; my $reply = <$s> // "";
    $reply =~ s/\A.*?\r\n\r\n//s or exit 1; print $reply;' "$1" "$2"
}

# A report of pointer 3, layout 1, screen 0: the given frame, X 4096, Y 8192,
# left button down, acknowledgement mode 2.
report_path() {
  printf '/tolvex10003%04X10002000100200' "$1"
}

# Reports, from the frame after the given one, until the output file shows
# the line: a reader sees only what arrives after it opened the area.
reports_reach() {
  local output="$1" line="$2" frame="$3"
  shows_report() {
    grep -q "$line" "$output" && return 0
    frame=$((frame + 1))
    http_get "$port" "$(report_path $frame)" >/dev/null
    return 1
  }
  wait_for 30 shows_report
}

# The address for the phones a server printed to the file, on this port.
address_shown() {
  wait_for "$2" grep -q '^http://.*:'"$port"'/' "$1" || return 1
  shown="$(grep -m1 -o '^http://[0-9.]*:[0-9]*/' "$1" | tr -d '\r')"
  [[ "$shown" =~ ^http://[0-9]{1,3}(\.[0-9]{1,3}){3}:$port/$ ]]
}

# The text of a QR code image Codeplate wrote.
decode_code() {
  perl "$repo/tests/qrtool/add_quiet_zone.pl" "$1" "$work/decoded.ppm" &&
    zbarimg --quiet --raw -Sbinary "$work/decoded.ppm" 2>/dev/null
}
