#!/usr/bin/env bash
# Prepares a work directory for the core from a build: the client
# configuration and the report templates, as an installation has them.
# Usage: make-workdir.sh BUILD_DIR WORK_DIR
set -euo pipefail
build="$1"
work="$2"
mkdir -p "$work"
cp "$build/bin/ClientConfig.xml" "$work/"
rm -rf "$work/templates"
cp -r "$build/bin/templates" "$work/templates"
