#!/usr/bin/env bash
# The setup program and its uninstaller run silently under Wine, as a technician runs them on a
# room of trainers: the files, the uninstall entry and the shortcuts; the calibration files in
# C:\sys_kvel\ byte-identical through install, upgrade, reinstall, downgrade, model change and
# uninstall; the working folder's other files kept; every refusal with its exit status and
# nothing changed; the model of the attached board; the uninstaller's import table; the
# trainer's own copies of setup's files kept and put back; a file in use and no administrator
# rights stopping a run with everything as it was.
#   setup_under_wine.sh WINE_RUN OBJDUMP DIST_DIR VERSION SETUP OLDER_SETUP STANDIN_SETUP
#                       FILE_HOLDER RETIRED_PAGE VBOARD
# OLDER_SETUP is the same setup with an older version, whose guide had RETIRED_PAGE as well;
# STANDIN_SETUP takes SETUP_ACCOUNT_TYPE, when set, for the account type. FILE_HOLDER holds a
# file in use. VBOARD, the virtual board's program, plugs boards into Wine's HID stack.
set -euo pipefail
export LC_ALL=C  # reg.exe's output is in the console's code page; names are compared as bytes
wine_run=$1 objdump=$2 dist=$3 version=$4 setup=$5 older_setup=$6 standin_setup=$7 holder=$8
retired_page=guide/$(basename "$9") vboard=${10}
here=$(dirname "$0")

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\trimdesk'
drive_c=$("$wine_run" winepath -u 'C:\' | tr -d '\r')
data=$drive_c/sys_kvel
work=$drive_c/setup-tests
start_menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/trimdesk"
kept_data=$drive_c/sys_kvel.kept-by-setup-tests
scratch=$(mktemp -d)

# The prefix's own calibration folder (the end-to-end tests') is set aside for the run.
[ -e "$data" ] && [ ! -e "$kept_data" ] && mv "$data" "$kept_data"
restore() {
    declare -F unplug >/dev/null && unplug
    "$wine_run" reg delete "$uninstall_key" /f >/dev/null 2>&1 || true
    rm -rf "$work" "$data" "$start_menu"
    [ -e "$kept_data" ] && mv "$kept_data" "$data"
    rm -rf "$scratch"
    return 0
}
trap restore EXIT

# ---- Helpers ----

windows_path() { echo "C:\\setup-tests\\$1"; }

fresh_machine() {
    "$wine_run" reg delete "$uninstall_key" /f >/dev/null 2>&1 || true
    rm -rf "$work" "$data" "$start_menu"
    mkdir -p "$work"
}

# make_folder NAME FILE...: a working folder holding stand-ins of the trainer's files.
make_folder() {
    local name=$1 file
    shift
    mkdir -p "$work/$name"
    for file in "$@"; do
        mkdir -p "$(dirname "$work/$name/$file")"
        echo "stand-in $file" >"$work/$name/$file"
    done
}

# Every folder and file below a folder, files with their checksums: equal snapshots, equal
# folders. A folder that is not there has none.
snapshot() {
    [ -d "$1" ] || return 0
    (cd "$1" && find . -mindepth 1 -type d | sort &&
        find . -type f -print0 | sort -z | xargs -0r sha256sum)
}

run_setup() {  # run_setup EXE ARGS...; prints the exit status
    local status=0
    "$wine_run" "$@" </dev/null >/dev/null 2>&1 || status=$?
    echo "$status"
}

# The silent uninstaller hands its work to a copy of itself and ends; the copy removes the
# uninstaller last.
run_uninstaller() {
    local folder=$1
    "$wine_run" "$(windows_path "$folder")\\uninstall-trimdesk.exe" /S </dev/null >/dev/null 2>&1 ||
        fail "uninstaller in $folder: exit status $?"
    for _ in $(seq 120); do
        [ -e "$work/$folder/uninstall-trimdesk.exe" ] || return 0
        sleep 0.5
    done
    fail "uninstaller in $folder did not finish within 60 s"
}

# The uninstaller run in place (_?=), which waits for its end and gives its exit status; it
# cannot remove itself then.
run_uninstaller_in_place() {  # prints the exit status
    local folder=$1 status=0
    "$wine_run" "$(windows_path "$folder")\\uninstall-trimdesk.exe" /S _?="$(windows_path "$folder")" \
        </dev/null >/dev/null 2>&1 || status=$?
    echo "$status"
}

# hold HOW FILE: FILE of the test folder held in use by a Windows process until release.
holds=0
hold() {
    local how=$1 file=$2
    holds=$((holds + 1))
    release_file=$work/release-$holds
    "$wine_run" "$holder" "$how" "C:\\setup-tests\\${file//\//\\}" "C:\\setup-tests\\release-$holds" \
        </dev/null >"$scratch/held-$holds" 2>&1 &
    holder_pid=$!
    for _ in $(seq 600); do
        grep -q held "$scratch/held-$holds" && return 0
        kill -0 $holder_pid 2>/dev/null || break
        sleep 0.1
    done
    fail "could not hold $file: $(cat "$scratch/held-$holds")"
}
release() {
    touch "$release_file"
    wait $holder_pid || fail "the holder ended with status $?"
}

# The uninstall entry's values by name, as reg.exe shows them (none when there is no entry).
declare -A entry
read_entry() {
    entry=()
    local name type value
    while read -r name type value; do
        if [[ $type == REG_* ]]; then entry[$name]=$value; fi
    done < <("$wine_run" reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
}

# The guide's files, guide/NAME a line: the build's, and for an older version's setup the page
# its guide had as well.
guide_of() {  # guide_of VERSION
    { [ -d "$dist/guide" ] && (cd "$dist" && find guide -type f)
      [ "$1" != "$version" ] && echo "$retired_page"; } | sort
}

# The names the list beside the uninstaller gives for KIND (installed or kept), a line each.
listed() {  # listed FOLDER KIND
    sed -n "s/^$2 //p" "$work/$1/uninstall-trimdesk.files" 2>/dev/null | tr -d '\r' | tr '\\' / | sort
}

expect_installed() {  # expect_installed FOLDER MODEL VERSION
    local folder=$1 model=$2 expected_version=$3 other=HBV5 file
    [ "$model" = HBV5 ] && other=HBV7
    for file in trimdesk.exe hbvtool.exe "$model.dll"; do
        cmp -s "$dist/$file" "$work/$folder/$file" || fail "$folder: $file is not the build's"
    done
    [ -f "$work/$folder/uninstall-trimdesk.exe" ] || fail "$folder: no uninstaller"
    local guide
    guide=$(cd "$work/$folder" && find guide -type f 2>/dev/null | sort)
    [ "$guide" = "$(guide_of "$expected_version")" ] ||
        fail "$folder: the guide's files are not those of $expected_version's setup"
    [ "$(listed "$folder" installed)" = "$({ printf '%s\n' trimdesk.exe hbvtool.exe "$model.dll" &&
        guide_of "$expected_version"; } | sort)" ] || fail "$folder: the list of installed files is wrong"
    [ ! -e "$work/$folder/setup-undo" ] || fail "$folder: setup-undo is left"
    [ ! -e "$work/$folder/$other.dll" ] || fail "$folder: $other.dll beside $model.dll"
    read_entry
    [ "${entry[DisplayVersion]:-}" = "$expected_version" ] ||
        fail "$folder: entry's version '${entry[DisplayVersion]:-}', expected $expected_version"
    [ "${entry[InstallLocation]:-}" = "$(windows_path "$folder")" ] ||
        fail "$folder: entry's location '${entry[InstallLocation]:-}'"
    [ "${entry[BoardModel]:-}" = "$model" ] || fail "$folder: entry's model '${entry[BoardModel]:-}'"
}

expect_no_entry() {
    read_entry
    [ ${#entry[@]} -eq 0 ] || fail "$1: an uninstall entry is left: ${!entry[*]}"
}

# ---- Refusals on a fresh machine: exit status, and nothing changed anywhere ----

fresh_machine
# folder's files | setup's arguments (FOLDER: the folder) | exit status
refusals=(
    "simulator.exe capta.exe | /MODEL=HBV5 /D=FOLDER | 3"
    "fourpot.dll             | /MODEL=HBV5 /D=FOLDER | 3"
    "hostbus.dll             | /MODEL=hbv5 /D=FOLDER | 3"
    "rsport.dll              | /MODEL=HBV5 /D=FOLDER | 3"
    "HBV5.dll                | /MODEL=HBV7 /D=FOLDER | 3"
    "HBV7.dll                | /MODEL=HBV5 /D=FOLDER | 3"
    "drive.exe               | /D=FOLDER             | 2"
    "drive.exe               | /MODEL=HBV6 /D=FOLDER | 2"
    "drive.exe               | /MODEL=HBV7           | 2"
)
row=0
for refusal in "${refusals[@]}"; do
    IFS='|' read -r files arguments expected <<<"$refusal"
    folder=refused-$((row += 1))
    make_folder "$folder" $files
    before=$(snapshot "$work/$folder")
    status=$(run_setup "$setup" /S ${arguments//FOLDER/$(windows_path "$folder")})
    [ "$status" = "${expected// /}" ] || fail "refusal '$refusal': exit status $status"
    [ "$(snapshot "$work/$folder")" = "$before" ] || fail "refusal '$refusal' changed the folder"
    [ ! -e "$data" ] || fail "refusal '$refusal' created C:\\sys_kvel"
done
[ ! -e "$start_menu" ] || fail "a refusal made shortcuts"
expect_no_entry refusals

# ---- A fresh install and its uninstall, for each model ----

# model | folder's files (a stand-in simulator program among them) | locale | shortcut names
installs=(
    "HBV7 | simulator.exe captb.exe notes.txt | ru_RU.UTF-8 | Калибровка тренажера.lnk,Консоль в рабочей папке (hbvtool).lnk"
    "HBV5 | drive.exe capta.exe notes.txt     | C.UTF-8     | Trainer calibration.lnk,Console in the working folder (hbvtool).lnk"
)
for install in "${installs[@]}"; do
    IFS='|' read -r model files locale shortcuts <<<"$install"
    model=${model// /} locale=${locale// /}
    shortcuts=${shortcuts# }
    fresh_machine
    folder=fresh-$model
    make_folder "$folder" $files
    before=$(snapshot "$work/$folder")
    status=$(TRIMDESK_WINE_LOCALE=$locale run_setup "$setup" /S /MODEL=$model /D="$(windows_path "$folder")")
    [ "$status" = 0 ] || fail "$folder: exit status $status"
    expect_installed "$folder" "$model" "$version"
    [ -d "$data" ] && [ -z "$(ls -A "$data")" ] || fail "$folder: C:\\sys_kvel not created empty"
    [ "${entry[UninstallString]:-}" = "\"$(windows_path "$folder")\\uninstall-trimdesk.exe\"" ] ||
        fail "$folder: entry's uninstaller '${entry[UninstallString]:-}'"
    [[ ${entry[DisplayName]:-} == trimdesk* ]] || fail "$folder: entry's name '${entry[DisplayName]:-}'"
    # The estimate: the installed files' size, each file rounded up to whole kilobytes.
    installed=$(cd "$work/$folder" &&
        find trimdesk.exe hbvtool.exe $model.dll guide -type f 2>/dev/null || true)
    installed_kb=$((($(cd "$work/$folder" && cat $installed | wc -c) + 1023) / 1024))
    estimated_kb=$((${entry[EstimatedSize]:-0}))
    [ "$estimated_kb" -ge "$installed_kb" ] &&
        [ "$estimated_kb" -le $((installed_kb + $(wc -l <<<"$installed"))) ] ||
        fail "$folder: estimated size $estimated_kb KB for $installed_kb KB of files"

    expected_shortcuts=$shortcuts
    if [ -d "$dist/guide" ]; then
        [ "$locale" = C.UTF-8 ] && expected_shortcuts+=",Operator's guide.lnk" ||
            expected_shortcuts+=",Руководство оператора.lnk"
    fi
    actual_shortcuts=$(cd "$start_menu" 2>/dev/null && ls | sort | paste -sd,)
    [ "$actual_shortcuts" = "$(tr ',' '\n' <<<"$expected_shortcuts" | sort | paste -sd,)" ] ||
        fail "$folder: shortcuts '$actual_shortcuts', expected '$expected_shortcuts'"
    calibration_link=$start_menu/${shortcuts%%,*}
    strings -el "$calibration_link" 2>/dev/null | grep -qixF "$(windows_path "$folder")" ||
        fail "$folder: the calibration shortcut does not start in the working folder"

    if [ "$model" = HBV7 ]; then  # the uninstaller exists only once setup has run
        cp "$work/$folder/uninstall-trimdesk.exe" "$work/uninstaller.exe"
        bash "$here/../wine/check_imports.sh" "$objdump" "$work/uninstaller.exe" ||
            fail "uninstaller's imports"
        # NSIS writes the uninstaller from the setup's own stub: the same import table, which
        # is why the 32-bit setup's static checks cover its uninstaller as well.
        imports_of() {
            "$objdump" -p "$1" |
                sed -nE 's/^\s*DLL Name: //p; s/^\s+[0-9a-f]+\s+[0-9]+\s+(\w+)$/\1/p'
        }
        [ "$(imports_of "$work/uninstaller.exe")" = "$(imports_of "$setup")" ] ||
            fail "the uninstaller's import table differs from the setup program's"
    fi

    run_uninstaller "$folder"
    [ "$(snapshot "$work/$folder")" = "$before" ] || fail "$folder: uninstall left or took other files"
    [ ! -e "$start_menu" ] || fail "$folder: uninstall left the shortcuts"
    [ -d "$data" ] || fail "$folder: uninstall removed C:\\sys_kvel"
    expect_no_entry "$folder"
done

# ---- The attached board's model, when /MODEL is not given ----

# The shipped setup asks the hbvtool it carries for the boards that the system lists: here the
# virtual board, device nodes in Wine's own HID stack, one board program for each model.
boards_plugged=()
plug() {  # plug MODEL...
    local model
    for model; do
        "$wine_run" "$vboard" --model "$model" --seconds 300 >"$scratch/vboard-$model.out" 2>&1 &
        boards_plugged+=($!)
        for _ in $(seq 600); do
            grep -q "^plugged $model" "$scratch/vboard-$model.out" && break
            sleep 0.1
        done
        grep -q "^plugged $model" "$scratch/vboard-$model.out" ||
            fail "the board program did not plug $model: $(cat "$scratch/vboard-$model.out")"
    done
}
# Ends the board programs and removes the nodes they leave.
unplug() {
    [ ${#boards_plugged[@]} -eq 0 ] || kill "${boards_plugged[@]}" 2>/dev/null || true
    wait "${boards_plugged[@]}" 2>/dev/null || true
    boards_plugged=()
    "$wine_run" "$vboard" --unplug-all >/dev/null 2>&1 || true
}

# boards plugged | exit status | library installed
detections=("HBV5 | 0 | HBV5" "HBV7 | 0 | HBV7" "HBV7,HBV5 | 2 | -" "- | 2 | -")
unplug  # none left behind by another run
for detection in "${detections[@]}"; do
    IFS='|' read -r boards expected model <<<"${detection// /}"
    [ "$boards" = - ] && boards=""
    boards=${boards//,/ }
    fresh_machine
    make_folder detected capta.exe
    plug $boards
    status=$(run_setup "$setup" /S /D="$(windows_path detected)")
    unplug
    label="boards plugged: ${boards:-none}"
    [ "$status" = "$expected" ] || fail "$label: exit status $status, expected $expected"
    if [ "$model" = - ]; then
        expect_no_entry "$label"
    else
        expect_installed detected "$model" "$version"
    fi
done

# ---- Calibration files through one trainer's life ----

fresh_machine
mkdir -p "$data"
printf '900\r\n100\r\n800\r\n50\r\n700\r\n60\r\n600\r\n70\r\n500\r\n80\r\n' >"$data/calib5us.out"
printf '1000\r\n0\r\n1000\r\n0\r\n1000\r\n0\r\n1000\r\n0\r\n1000\r\n0\r\n' >"$data/calib_us.out"
printf '%s\r\n' $(seq 1 14) >"$data/calibkpp.out"
echo "support report" >"$data/PrintKPP.txt"
sealed=$(snapshot "$data")
make_folder trainer drive.exe capta.exe notes.txt
foreign=$(snapshot "$work/trainer")

# step | setup | arguments | exit status | model and version installed afterwards
life=(
    "install        | older | /MODEL=HBV5 /D=FOLDER              | 0 | HBV5 0.0.1"
    "upgrade        | new   |                                    | 0 | HBV5 $version"
    "reinstall      | new   |                                    | 0 | HBV5 $version"
    "older on newer | older |                                    | 4 | HBV5 $version"
    "other folder   | new   | /MODEL=HBV5 /D=C:\\setup-tests\\other | 5 | HBV5 $version"
    "forced older   | older | /FORCE                             | 0 | HBV5 0.0.1"
    "model change   | new   | /MODEL=HBV7                        | 0 | HBV7 $version"
)
for step in "${life[@]}"; do
    IFS='|' read -r name which arguments expected installed <<<"$step"
    name=$(echo $name) installed=($installed)
    exe=$setup
    [ "${which// /}" = older ] && exe=$older_setup
    # Damaged beforehand, so that a run that succeeds shows it replaced the file.
    [ -f "$work/trainer/trimdesk.exe" ] && echo damaged >>"$work/trainer/trimdesk.exe"
    before=$(snapshot "$work/trainer")
    status=$(run_setup "$exe" /S ${arguments//FOLDER/$(windows_path trainer)})
    [ "$status" = "${expected// /}" ] || fail "$name: exit status $status"
    if [ "$status" = 0 ]; then
        expect_installed trainer "${installed[@]}"
    else
        [ "$(snapshot "$work/trainer")" = "$before" ] || fail "$name: refused but changed the folder"
        read_entry
        [ "${entry[DisplayVersion]:-}" = "${installed[1]}" ] || fail "$name: refused but changed the entry"
    fi
    [ "$(snapshot "$data")" = "$sealed" ] || fail "$name: C:\\sys_kvel changed"
done
[ ! -e "$work/other" ] || fail "the refused other folder was made"
run_uninstaller trainer
[ "$(snapshot "$work/trainer")" = "$foreign" ] || fail "uninstall after the model change left or took files"
[ "$(snapshot "$data")" = "$sealed" ] || fail "uninstall: C:\\sys_kvel changed"
expect_no_entry "uninstall after the model change"

# ---- The trainer's own copies of setup's files: kept in setup-backup\, back on uninstall ----

# model | folder's files (the trainer's copies of setup's names among them) | kept by setup
keeps=(
    "HBV7 | HBV7.dll trimdesk.exe simulator.exe captb.exe | HBV7.dll trimdesk.exe"
    "HBV5 | HBV5.dll hbvtool.exe guide/index.html capta.exe | HBV5.dll hbvtool.exe guide/index.html"
)
for keep in "${keeps[@]}"; do
    IFS='|' read -r model files kept <<<"$keep"
    model=${model// /}
    fresh_machine
    folder=keeps-$model
    make_folder "$folder" $files
    before=$(snapshot "$work/$folder")
    rm -rf "$scratch/before" && cp -a "$work/$folder" "$scratch/before"
    status=$(run_setup "$setup" /S /MODEL=$model /D="$(windows_path "$folder")")
    [ "$status" = 0 ] || fail "$folder: exit status $status"
    expect_installed "$folder" "$model" "$version"
    for file in $kept; do
        cmp -s "$scratch/before/$file" "$work/$folder/setup-backup/$file" ||
            fail "$folder: the trainer's $file is not kept in setup-backup"
    done
    [ "$(listed "$folder" kept)" = "$(tr ' ' '\n' <<<"$kept" | sed '/^$/d' | sort)" ] ||
        fail "$folder: the list's kept files '$(listed "$folder" kept | paste -sd' ')'"
    # A repair over setup's own installation keeps nothing more.
    kept_before=$(snapshot "$work/$folder/setup-backup")
    status=$(run_setup "$setup" /S)
    [ "$status" = 0 ] || fail "$folder: repair's exit status $status"
    [ "$(snapshot "$work/$folder/setup-backup")" = "$kept_before" ] || fail "$folder: the repair kept files"
    expect_installed "$folder" "$model" "$version"
    run_uninstaller "$folder"
    [ "$(snapshot "$work/$folder")" = "$before" ] ||
        fail "$folder: after the uninstall the folder is not as before the install"
    expect_no_entry "$folder"
done

# ---- A file in use: exit status 6, and the earlier installation as it was ----

# The older version is installed; a Windows process holds one of its files (file_holder: image
# as the simulator holds the library, exclusive, or reader as the C runtime's fopen opens a file,
# which lets setup open the file but not move it, after it has moved others); then the run.
# held file | how it is held | run
in_use=(
    "HBV5.dll         | image     | upgrade"
    "trimdesk.exe     | exclusive | upgrade"
    "guide/index.html | reader    | upgrade"
    "HBV5.dll         | image     | uninstall"
    "hbvtool.exe      | reader    | uninstall"
)
row=0
for case in "${in_use[@]}"; do
    IFS='|' read -r file how run <<<"${case// /}"
    fresh_machine
    folder=in-use-$((row += 1))
    make_folder "$folder" drive.exe capta.exe trimdesk.exe
    foreign=$(snapshot "$work/$folder")
    status=$(run_setup "$older_setup" /S /MODEL=HBV5 /D="$(windows_path "$folder")")
    [ "$status" = 0 ] || fail "$folder: the older version's exit status $status"
    before=$(snapshot "$work/$folder")
    entry_before=$("$wine_run" reg query "$uninstall_key" 2>&1)
    hold "$how" "$folder/$file"
    if [ "$run" = upgrade ]; then
        status=$(run_setup "$setup" /S)
    else
        status=$(run_uninstaller_in_place "$folder")
    fi
    [ "$status" = 6 ] || fail "$run with $file held ($how): exit status $status, expected 6"
    [ "$(snapshot "$work/$folder")" = "$before" ] || fail "$run with $file held ($how) changed the folder"
    [ "$("$wine_run" reg query "$uninstall_key" 2>&1)" = "$entry_before" ] ||
        fail "$run with $file held ($how) changed the uninstall entry"
    release
    # Once the file is free the same run succeeds.
    if [ "$run" = upgrade ]; then
        status=$(run_setup "$setup" /S)
        [ "$status" = 0 ] || fail "$folder: the upgrade after the release: exit status $status"
        expect_installed "$folder" HBV5 "$version"
    fi
    run_uninstaller "$folder"
    [ "$(snapshot "$work/$folder")" = "$foreign" ] || fail "$folder: the uninstall after the release"
done

# ---- Without administrator rights: exit status 7 and nothing changed ----

# Wine gives every program administrator rights; the stand-in setup and its uninstaller take
# the account type that Windows would report from SETUP_ACCOUNT_TYPE.
# account type | setup's exit status | the uninstaller's with that account type
accounts=("User | 7 | 7" "Guest | 7 | 7" "Power | 7 | 7" "Admin | 0 | 0")
for account in "${accounts[@]}"; do
    IFS='|' read -r type expected expected_uninstall <<<"${account// /}"
    fresh_machine
    folder=account-$type
    make_folder "$folder" capta.exe drive.exe
    before=$(snapshot "$work/$folder")
    status=$(SETUP_ACCOUNT_TYPE=$type run_setup "$standin_setup" /S /MODEL=HBV5 /D="$(windows_path "$folder")")
    [ "$status" = "$expected" ] || fail "account $type: exit status $status, expected $expected"
    if [ "$status" != 0 ]; then
        [ "$(snapshot "$work/$folder")" = "$before" ] || fail "account $type: the refusal changed the folder"
        [ ! -e "$data" ] && [ ! -e "$start_menu" ] || fail "account $type: the refusal made C:\\sys_kvel or shortcuts"
        expect_no_entry "account $type"
        # The uninstaller of an installation made by an administrator, run by this account.
        status=$(run_setup "$standin_setup" /S /MODEL=HBV5 /D="$(windows_path "$folder")")
        [ "$status" = 0 ] || fail "account $type: the administrator's install: exit status $status"
    else
        expect_installed "$folder" HBV5 "$version"
    fi
    installed=$(snapshot "$work/$folder")
    status=$(SETUP_ACCOUNT_TYPE=$type run_uninstaller_in_place "$folder")
    [ "$status" = "$expected_uninstall" ] ||
        fail "account $type: the uninstaller's exit status $status, expected $expected_uninstall"
    if [ "$status" != 0 ]; then
        [ "$(snapshot "$work/$folder")" = "$installed" ] || fail "account $type: the uninstaller's refusal changed the folder"
        read_entry
        [ -n "${entry[DisplayVersion]:-}" ] || fail "account $type: the uninstaller's refusal removed the entry"
    else
        # In place the uninstaller cannot remove itself; all else is gone.
        rm -f "$work/$folder/uninstall-trimdesk.exe"
        [ "$(snapshot "$work/$folder")" = "$before" ] || fail "account $type: the uninstall left or took files"
        expect_no_entry "account $type, uninstalled"
    fi
done

[ "$failures" -eq 0 ] || exit 1
echo "setup under Wine: ok"
