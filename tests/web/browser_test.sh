#!/bin/sh
# The viewer in headless chromium (browser_test.mjs), with puppeteer-core
# from the lock file (installed by scripts/build_web.sh with npm ci).
# usage: browser_test.sh SITE NODE_MODULES_PARENT VIEW_RENDER LIBPLOTMIRA.so PLOTMIRA IMAGE_COMPARE SHOWCASE.jww CORPUS WORK
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS)
set -u
. "$(dirname "$0")/web_env.sh"
require_web_build "$1/index.html"
command -v chromium >/dev/null 2>&1 || missing "chromium is missing (Debian: chromium)"
[ -d "$2/node_modules/puppeteer-core" ] || missing "puppeteer-core is missing ($2; scripts/build_web.sh installs it with npm ci)"
export SITE_DIR=$1 NODE_MODULES_DIR=$2 VIEW_RENDER=$3 LIBPLOTMIRA=$4 PLOTMIRA=$5 IMAGE_COMPARE=$6 SHOWCASE=$7
export CORPUS_DIR=${PLOTMIRA_CORPUS_DIR:-$8} WORK_DIR=$9/browser
export PLOTMIRA_REGISTRY="$9/browser-registry.reg" PLOTMIRA_DESKTOP_WIDTH=1920
exec node "$(dirname "$0")/browser_test.mjs"
