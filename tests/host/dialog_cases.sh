# Sourced by the Wine tests: the cases of ConfigurationDlg, driven by the
# test host as a user would drive the dialog, as lines of a --batch list,
# and the checks of their logs. Needs fail() from the sourcing script.

# dialog_batch_lines LIST PLUGIN OUT_DIR SHOWCASE: appends the cases.
dialog_batch_lines() {
    list=$1 plugin=$2 out=$3 drawing=$4
    t=$(printf '\t')
    {
        echo "Z:$out/dialog-preset.log$t--registry${t}SIZE_JWW=${t}SIZE_JWS=800${t}REF_FILE=ref.txt"
        echo "Z:$out/dialog-show.log$t$plugin$t--dialog${t}1${t}show${t}mnemonics${t}escape"
        echo "Z:$out/dialog-ok.log$t$plugin$t--dialog${t}1${t}type:1001:1000${t}enter"
        echo "Z:$out/dialog-width1000.log$t$plugin${t}Z:$drawing${t}Z:$out/dialog-width1000.bmp"
        echo "Z:$out/dialog-letters.log$t$plugin$t--dialog${t}1${t}type:1001:abc${t}ok${t}expect-message${t}expect-open${t}escape"
        echo "Z:$out/dialog-range.log$t$plugin$t--dialog${t}1${t}type:1002:6000${t}enter${t}expect-message${t}expect-open${t}cancel"
        echo "Z:$out/dialog-cancel.log$t$plugin$t--dialog${t}1${t}type:1001:2000${t}type:1003:other.txt${t}escape"
        echo "Z:$out/dialog-empty.log$t$plugin$t--dialog${t}1${t}type:1002:${t}type:1003:${t}ok"
        echo "Z:$out/dialog-about.log$t$plugin$t--dialog${t}0${t}read-message"
        echo "Z:$out/dialog-other.log$t$plugin$t--dialog${t}2"
        echo "Z:$out/dialog-reset.log$t--registry${t}SIZE_JWW=${t}SIZE_JWS=${t}REF_FILE="
    } >> "$list"
}

# dialog_check OUT_DIR VERSION WHAT: the logs say what a user would see.
dialog_check() {
    out=$1 version=$2 what=$3
    has() { tr -d '\r' < "$out/$1.log" | grep -q -- "$2" || fail "$what dialog, $1: no \"$2\" in: $(tr -d '\r' < "$out/$1.log" | tr '\n' '|')"; }
    has dialog-show 'field 1001: ""'
    has dialog-show 'field 1002: "800"'
    has dialog-show 'field 1003: "ref.txt"'
    has dialog-show 'tab order: 1001 1002 1003 1004 1 2'
    has dialog-show 'alt+w: 1001'
    has dialog-show 'alt+f: 1002'
    has dialog-show 'alt+r: 1003'
    has dialog-show 'registry SIZE_JWW: absent'
    has dialog-ok 'ConfigurationDlg 1 returned 0'
    has dialog-ok 'registry SIZE_JWW: dword 1000'
    has dialog-ok 'registry SIZE_JWS: dword 800'
    has dialog-width1000 'GetPictureInfo 0 width 1000 height 707'
    has dialog-letters 'message: 図面の幅'
    has dialog-letters 'dialog still open'
    has dialog-letters 'registry SIZE_JWW: dword 1000'
    has dialog-range 'message: 図形の幅'
    has dialog-range 'dialog still open'
    has dialog-range 'registry SIZE_JWS: dword 800'
    has dialog-cancel 'registry SIZE_JWW: dword 1000'
    has dialog-cancel 'registry REF_FILE: text "ref.txt"'
    has dialog-empty 'registry SIZE_JWS: absent'
    has dialog-empty 'registry REF_FILE: absent'
    has dialog-empty 'registry SIZE_JWW: dword 1000'
    has dialog-about "message: Plotmira $version"
    has dialog-about 'MIT License'
    has dialog-other 'ConfigurationDlg 2 returned -1'
    has dialog-other 'visible windows after: 0'
}
