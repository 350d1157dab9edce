#!/bin/sh
# stop_after.sh SIGNALS COMMAND...: runs COMMAND, sends it each of SIGNALS (by name, e.g.
# "TERM" or "INT INT") half a second later, and exits with its status. "group:INT" sends INT
# to COMMAND's whole process group, as Ctrl-C at a terminal does.
signals=$1
shift
group=
case $signals in
group:*)
    signals=${signals#group:}
    group=-
    ;;
esac
if [ -n "$group" ]; then
    # A group of its own, led by COMMAND, as a terminal's foreground job is.
    setsid "$@" &
else
    "$@" &
fi
pid=$!
sleep 0.5
for s in $signals; do
    kill -s "$s" -- "$group$pid"
done
wait "$pid"
