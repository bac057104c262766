# Sourced: the Wine settings every run of ours uses. $1 is the private prefix.
export WINEPREFIX="$1"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine takes the ANSI code page from the locale; tests that need another set it per process.
export LANG="${PORTICO_LANG:-en_US.UTF-8}"
