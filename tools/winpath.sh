# Sourced: `windows_path PATH` prints the path a Wine program reaches PATH by
# (drive Z: is the root of every Wine prefix). Done in the shell because
# `winepath` starts a Wine session: before the display is up, every window
# of that session then fails ("no driver could be loaded").
windows_path() {
    local p
    p=$(realpath -m "$1")
    printf 'Z:%s\n' "${p//\//\\}"
}
