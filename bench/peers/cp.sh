#!/bin/sh
# Floor: cp (may use copy_file_range/reflinks, so it can beat cat).
exec cp "$1" "$2"
