# Shared by the web tests: Node, and the web build they test, or a skip
# (a failure when PLOTMIRA_REQUIRE_ALL=1).
missing() {
    if [ "${PLOTMIRA_REQUIRE_ALL:-0}" = 1 ]; then
        echo "FAIL: $* (PLOTMIRA_REQUIRE_ALL=1)"
        exit 1
    fi
    echo "SKIP: $*"
    exit 77
}
require_web_build() { # FILE
    command -v node >/dev/null 2>&1 || missing "node is missing (Debian: nodejs)"
    [ -f "$1" ] || missing "the web build is missing ($1; scripts/build_web.sh makes it with emscripten)"
}
