#!/bin/sh
# The router's form handler at /goform/goform_process, run by busybox httpd
# as a CGI program. The router's state lives in the directory named by
# BUSYBOX_PEER_STATE: "mode" holds "work" or "factory", "version" the
# firmware version, and every request body is appended to "requests".
state=${BUSYBOX_PEER_STATE:?}
body=$(head -c "${CONTENT_LENGTH:-0}")
printf '%s\n' "$body" >> "$state/requests"

field() {
    printf '&%s&' "$body" | sed -n "s/.*&$1=\([^&]*\)&.*/\1/p"
}

printf 'Content-Type: text/plain\r\n\r\n'
case "$(field goformId)/$(field SwitchCMD)" in
SwitchFactoryMode/Query)
    if [ "$(cat "$state/mode")" = factory ]; then
        printf 'FACTORYRESULT:OPENED'
    else
        printf 'FACTORYRESULT:CLOSED'
    fi
    ;;
SwitchFactoryMode/Open)
    if printf 'factory' > "$state/mode"; then
        printf 'SUCCESS'
    else
        printf 'FAILED'
    fi
    ;;
GetVersion/*)
    printf 'SW_VERSION:%s' "$(cat "$state/version")"
    ;;
*)
    printf 'FAILED'
    ;;
esac
