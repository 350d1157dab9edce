#!/bin/sh
# reader_gone.sh COMMAND...: runs COMMAND with its output read by `head -1`, which stops
# reading after the first line, and says with what status COMMAND ended.
("$@"; echo "ended with $?" >&2) | head -1
