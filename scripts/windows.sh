#!/usr/bin/env bash
# Builds the Windows release of Dorvane on Debian 12 and lays it out as a
# folder users can unzip:
#
#   bash scripts/windows.sh          # build-windows/Dorvane-1.3-win64.zip
#
# It installs what is missing (the posix-threads mingw-w64 compilers, zip,
# and for the run under Wine: Wine, Xvfb, xdotool),
# unpacks the Qt built for Windows once into the build folder (after checking
# its sha256), configures with every warning an error and builds into
# build-windows/. Then it copies dorvane.exe, touch.exe, the Qt and gcc
# run-time DLLs and the two plugins into build-windows/Dorvane-<version>-win64/,
# proves that every DLL those import is in the folder or is one of Windows'
# own, and zips the folder. Extra arguments go to the cmake configure step
# (for example -DDORVANE_BUILD_TESTS=ON).
#
# The Qt tarball is taken from $DORVANE_QT_TARBALL, else from
# ../shared/windows/ beside the checkout (or beside its parent folder).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="$root/build-windows"

qt_name=qt-5.15.8-x86_64-w64-mingw32-posix
qt_sha256=60628781bbdf678ea3c9842ef83d00043997fa502ec15353800fb47e574bf263

# Windows' own DLLs that the programs, the Qt DLLs and the plugins import;
# anything else they import must lie in the release folder.
system_dlls=(advapi32 d3d11 dwmapi dxgi gdi32 imm32 kernel32 mpr msvcrt netapi32 ole32
             oleaut32 shell32 user32 userenv uxtheme version winmm ws2_32 wtsapi32)

install_packages()
{
    local packages=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
                    xvfb xdotool zip unzip)
    local missing=() p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends \
            "${missing[@]}"
    fi
}

find_tarball()
{
    local candidate
    for candidate in "${DORVANE_QT_TARBALL:-}" "$root/../shared/windows/$qt_name.tar.xz" \
        "$root/../../shared/windows/$qt_name.tar.xz"; do
        if [ -n "$candidate" ] && [ -f "$candidate" ]; then
            echo "$candidate"
            return
        fi
    done
    echo "windows.sh: $qt_name.tar.xz not found; set DORVANE_QT_TARBALL to it" >&2
    exit 1
}

# Unpacks once: the stamp holds the checksum of what was unpacked.
unpack_qt()
{
    qt_dir="$build/$qt_name"
    if [ -f "$qt_dir/.sha256" ] && [ "$(cat "$qt_dir/.sha256")" = "$qt_sha256" ] &&
        [ -d "$qt_dir/qt/lib/cmake/Qt5" ]; then
        return
    fi
    local tarball
    tarball="$(find_tarball)"
    echo "$qt_sha256  $tarball" | sha256sum --check --quiet ||
        { echo "windows.sh: $tarball does not have the expected sha256" >&2; exit 1; }
    rm -rf "$qt_dir"
    mkdir -p "$qt_dir"
    tar -xJf "$tarball" -C "$qt_dir"
    echo "$qt_sha256" >"$qt_dir/.sha256"
}

build_project()
{
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_PREFIX_PATH="$qt_dir/qt" -DCMAKE_BUILD_TYPE=Release -DDORVANE_WERROR=ON \
        -DDORVANE_BUILD_TESTS=OFF "$@"
    cmake --build "$build" -j"$(nproc)"
}

# The DLL names a program or DLL imports, in lower case.
imports()
{
    x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' |
        tr '[:upper:]' '[:lower:]'
}

# Every executable and DLL in the folder, and every DLL that those import in
# turn, must be found beside the programs or be one of Windows' own. Plugins
# are loaded by Qt from their subfolders, and the DLLs they import come from
# the programs' folder, as Windows looks there first.
check_imports()
{
    local folder="$1" failed=0 file dll
    local -A present=() system=()
    for dll in "${system_dlls[@]}"; do system[$dll.dll]=1; done
    for file in "$folder"/*.dll; do present[$(basename "${file,,}")]=1; done
    while IFS= read -r file; do
        while IFS= read -r dll; do
            if [ -z "${present[$dll]:-}" ] && [ -z "${system[$dll]:-}" ]; then
                echo "missing: ${file#"$folder"/} imports $dll" >&2
                failed=1
            fi
        done < <(imports "$file")
    done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) | sort)
    return $failed
}

make_release()
{
    local version folder name qt="$qt_dir/qt"
    version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
    name="Dorvane-$version-win64"
    folder="$build/$name"
    rm -rf "$folder" "$build/$name.zip"
    mkdir -p "$folder/platforms" "$folder/styles"
    cp "$build/bin/dorvane.exe" "$build/bin/touch.exe" "$folder/"
    for dll in Qt5Core Qt5Gui Qt5Widgets Qt5Xml libgcc_s_seh-1 libstdc++-6 libwinpthread-1; do
        cp "$qt/bin/$dll.dll" "$folder/"
    done
    cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
    cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"
    # No console window: the dialog is a GUI-subsystem program.
    [[ "$(x86_64-w64-mingw32-objdump -p "$folder/dorvane.exe")" == *"(Windows GUI)"* ]] ||
        { echo "windows.sh: dorvane.exe is not a GUI-subsystem program" >&2; exit 1; }
    # The application icon IDI_ICON1, its only resource, is the window's icon.
    x86_64-w64-mingw32-objdump -h "$folder/dorvane.exe" | grep -q '[[:space:]]\.rsrc[[:space:]]' ||
        { echo "windows.sh: dorvane.exe carries no icon resource" >&2; exit 1; }
    # touch.exe is linked statically: it needs nothing beside it but Windows.
    if imports "$folder/touch.exe" | grep -qvxE 'kernel32.dll|msvcrt.dll|shell32.dll'; then
        echo "windows.sh: touch.exe imports more than Windows' own DLLs" >&2
        exit 1
    fi
    if ! check_imports "$folder"; then
        echo "windows.sh: the release folder lacks DLLs that its programs import" >&2
        exit 1
    fi
    (cd "$build" && zip -q -r -X "$name.zip" "$name")
    echo "== $build/$name.zip ($(stat -c %s "$build/$name.zip") bytes):"
    (cd "$folder" && find . -type f | sort | sed 's|^\./|   |')
}

install_packages
unpack_qt
build_project "$@"
make_release
