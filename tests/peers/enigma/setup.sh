#!/usr/bin/env bash
# The ENiGMA½ test peer (README.md).
#   setup.sh BASE                     the source with node_modules and a template root (config,
#                                     users, file area): about 80 s once, then nothing
#   setup.sh BASE ROOT TELNET SSH     a private root copied from the template, for one peer on
#                                     127.0.0.1 at these ports; about 0.1 s
# Run the peer with: cd BASE/src && node main.js --config ROOT/config/
# Needs node 20 or newer, npm, node's headers, make, g++ and python3 (scripts/setup installs them);
# npm's registry must be reachable the first time. No root rights needed.
set -euo pipefail
PEER=$(cd "$(dirname "$0")" && pwd)
[ $# = 1 ] || [ $# = 4 ] || { echo "usage: $0 BASE [ROOT TELNET_PORT SSH_PORT]" >&2; exit 2; }
mkdir -p "$1"
BASE=$(cd "$1" && pwd)
SRC=$BASE/src
TEMPLATE=$BASE/template
KEYPASS=enigma-test-key-pass

# config.hjson and the menus for a root at ports $2/$3 (ENiGMA's defaults otherwise).
write_config() { # root telnet ssh
    local root=$1 menus=$1/config/menus inc=
    mkdir -p "$menus" "$root"/{logs,db,file_base/test_files}
    for f in message_base private_mail login new_user doors file_base activitypub; do
        cp "$SRC/misc/menu_templates/$f.in.hjson" "$menus/enigtest-$f.hjson"
        inc+="enigtest-$f.hjson"$'\n'
    done
    awk -v inc="$inc" '{ sub(/%INCLUDE_FILES%/, inc) } 1' "$SRC/misc/menu_templates/main.in.hjson" \
        > "$menus/enigtest-main.hjson"
    cat > "$root/config/config.hjson" <<EOF
{
    general: {
        boardName: "ENiGMA Test", prettyBoardName: "|08ENiGMA Test"
        telnetHostname: "127.0.0.1:$2", sshHostname: "127.0.0.1:$3"
        menuFile: "$menus/enigtest-main.hjson"
    }
    term: { checkUtf8Encoding: true, checkAnsiHomePosition: true }
    paths: { logs: "$root/logs/", db: "$root/db/", modsDb: "$root/db/mods/", dropFiles: "$root/drop/" }
    logging: { rotatingFile: { level: "debug" } }
    theme: { default: "luciano_blocktronics", preLogin: "luciano_blocktronics" }
    // Tests try bad passwords: three end the call, none locks the account.
    users: { requireActivation: false, failedLogin: { lockAccount: 0 } }
    loginServers: {
        telnet: { enabled: true, address: "127.0.0.1", port: $2 }
        ssh: {
            enabled: true, address: "127.0.0.1", port: $3
            privateKeyPem: "$root/config/security/ssh_private_key.pem", privateKeyPass: "$KEYPASS"
        }
        webSocket: { ws: { enabled: false }, wss: { enabled: false } }
    }
    contentServers: {
        web: { http: { enabled: false }, https: { enabled: false } }
        gopher: { enabled: false }
        nntp: { nntp: { enabled: false }, nntps: { enabled: false } }
    }
    messageConferences: {
        local: {
            name: "Local", desc: "Local Areas", sort: 1, default: true
            areas: { general: { name: "General", desc: "General chit-chat", sort: 1, default: true } }
        }
    }
    // lrzsz first; SEXYZ is not installed
    fileTransferProtocols: {
        zmodem8kSz: { sort: 0 }
        zmodem8kSexyz: { sort: 90 }, ymodemSexyz: { sort: 91 }, xmodemSexyz: { sort: 92 }
    }
    fileBase: {
        areaStoragePrefix: "$root/file_base/"
        storageTags: { test_files: "test_files" }
        areas: { test_area: { name: "Test Files", desc: "Files for download tests", storageTags: [ "test_files" ] } }
    }
}
EOF
}

if [ $# = 4 ]; then
    [ -f "$BASE/ready" ] || "$0" "$BASE"
    mkdir -p "$2" && ROOT=$(cd "$2" && pwd)
    cp -r "$TEMPLATE/db" "$TEMPLATE/file_base" "$TEMPLATE/config" "$ROOT/"
    write_config "$ROOT" "$3" "$4"
    exit 0
fi

# One base per build folder; concurrent callers wait for the first.
exec 9> "$BASE/.lock"
flock 9
sum() { cat "$@" | sha256sum | cut -c1-64; }
srcsum=$(sum "$PEER/enigma-bbs-src.tar.gz" "$PEER/vendor/buffers/index.js")
stamp=$srcsum-$(sum "$0" "$PEER/mkuser.js")
[ "$(cat "$BASE/ready" 2>/dev/null)" = "$stamp" ] && exit 0
rm -f "$BASE/ready"
node -e 'process.exit(+process.versions.node.split(".")[0] >= 20 ? 0 : 1)' ||
    { echo "ENiGMA½ needs node 20 or newer, not $(node --version)" >&2; exit 1; }
NODEDIR=$(dirname "$(dirname "$(readlink -f "$(command -v node)")")")
[ -f "$NODEDIR/include/node/node.h" ] || { echo "no node headers in $NODEDIR/include/node" >&2; exit 1; }
mkdir -p "$BASE/logs"

if [ "$(cat "$SRC/.tarball" 2>/dev/null)" != "$srcsum" ]; then
    rm -rf "$SRC" && mkdir -p "$SRC"
    tar -xzf "$PEER/enigma-bbs-src.tar.gz" -C "$SRC" --strip-components=1 --no-same-owner
    cd "$SRC"
    # Pinned: the releases before those package.json asks for, which some registries lack; buffers
    # is a GitHub URL upstream, here a tarball of vendor/buffers.
    tar -c -C "$PEER/vendor" --transform 's,^buffers,package,' --mtime=@0 --owner=0 --group=0 \
        --numeric-owner --sort=name buffers | gzip -n > "$BASE/buffers-0.1.1.tgz"
    npm pkg set dependencies.telnet-socket=0.2.4 dependencies.fatfs-volume-driver=0.0.4 \
        "overrides.buffers=file:$BASE/buffers-0.1.1.tgz"
    # No install scripts: husky is a dev tool and sharp's would download libvips.
    nice npm install --omit=dev --ignore-scripts --no-audit --no-fund > "$BASE/logs/npm-install.log" 2>&1 ||
        { tail -20 "$BASE/logs/npm-install.log"; exit 1; }
    # Only the two native modules ENiGMA needs, from source against the local headers.
    env JOBS=1 npm_config_nodedir="$NODEDIR" npm_config_build_from_source=true \
        nice npm rebuild better-sqlite3 node-pty --foreground-scripts > "$BASE/logs/npm-rebuild.log" 2>&1 ||
        { tail -30 "$BASE/logs/npm-rebuild.log"; exit 1; }
    # sharp only draws avatars for ActivityPub but is loaded at start: a stub that throws.
    mkdir -p node_modules/sharp/lib
    echo "module.exports = () => { throw new Error('sharp is not installed'); };" > node_modules/sharp/lib/index.js
    echo "$srcsum" > "$SRC/.tarball"
fi

cd "$SRC"
rm -rf "$TEMPLATE" && mkdir -p "$TEMPLATE/config/security"
write_config "$TEMPLATE" 8888 8889
ssh-keygen -q -t rsa -b 2048 -m PEM -N "$KEYPASS" -C enigma-test -f "$TEMPLATE/config/security/ssh_private_key.pem"
# Users 1 (the sysop) and the tests' users, all with the same password.
users=()
for u in enigmasysop tester telnet sshuser poster refused; do users+=("$u:testpass1"); done
node "$PEER/mkuser.js" --config "$TEMPLATE/config/" "${users[@]}" > "$BASE/logs/users.log"
python3 -c "import random, sys; sys.stdout.buffer.write(random.Random(20240501).randbytes(2 << 20))" \
    > "$TEMPLATE/file_base/test_files/RANDOM2M.BIN"
node oputil.js fb scan --config "$TEMPLATE/config/" --quick --tags test test_area > "$BASE/logs/scan.log" 2>&1
echo "$stamp" > "$BASE/ready"
