#!/bin/sh
# Builds the installer databases the Win32 tests open: one with a product
# version, one whose version overflows the 261-character buffer, and a file
# that is no database at all.
set -eu
out=$1
mkdir -p "$out"

database() {  # file, product version
    rm -f "$1"
    msibuild "$1" \
        -q "CREATE TABLE \`Property\` (\`Property\` CHAR(72) NOT NULL, \`Value\` LONGCHAR NOT NULL PRIMARY KEY \`Property\`)" \
        -q "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('ProductVersion', '$2')"
}

database "$out/good.msi" 2.9.1
database "$out/long.msi" "$(printf '%0400d' 7)"
printf 'This is no installer database.\r\n' >"$out/corrupt.msi"
