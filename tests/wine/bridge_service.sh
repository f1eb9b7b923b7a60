# The Windows service's cases, sourced by bridge.sh: install, net start,
# serving, net stop, failures to start in its status and its log, uninstall.
# Wine ends a prefix's services once no user process is left in it, so a
# `wine cmd` waiting on a pipe held open here lives through the cases.

BRIDGE_SERVICE_LOG=$WINEPREFIX/drive_c/ProgramData/Gridwren/bridge.log

bridge_keep_prefix_alive() {
  mkfifo "$RUN/bridge/keeper"
  wine cmd <"$RUN/bridge/keeper" >/dev/null 2>&1 &
  BRIDGE_KEEPER=$!
  exec 7>"$RUN/bridge/keeper"
}

bridge_release_prefix() {
  exec 7>&-
  wait "$BRIDGE_KEEPER" 2>/dev/null || true
}

bridge_fails() { ! "$@" </dev/null; }

bridge_sc() { wine sc "$@" </dev/null 2>&1 | tr -d '\r'; }

# bridge_service_state STATE: waits up to 10 s for `sc query` to show it.
bridge_service_state() {
  local i
  for i in $(seq 50); do
    bridge_sc query GridwrenBridge | grep -Eq "STATE +: +[0-9]+ +$1" && return 0
    sleep 0.2
  done
  bridge_sc query GridwrenBridge
  return 1
}

# bridge_install OPTIONS...: the service with these options, registered
# from a Windows whose ANSI code page is not Japanese (1252).
bridge_install() {
  LC_ALL=C.UTF-8 wine "$RUN/bin/gridwren-bridge.exe" --install-service "$@" </dev/null \
    >>"$RUN/logs/bridge-service.log" 2>&1
}

bridge_uninstall() {
  wine "$RUN/bin/gridwren-bridge.exe" --uninstall-service </dev/null >>"$RUN/logs/bridge-service.log" 2>&1
}

# As the service manager keeps it (Wine's sc has no qc): starting with the
# system (Start 2), as LocalService, with the options given.
bridge_service_registered() {
  local config
  config=$(wine reg query 'HKLM\System\CurrentControlSet\Services\GridwrenBridge' </dev/null | tr -d '\r')
  echo "$config"
  grep -Eq "Start +REG_DWORD +0x2$" <<<"$config" && grep -q 'NT AUTHORITY\\LocalService' <<<"$config" &&
    grep -q -- "--service .*--source $BRIDGE_SOURCE" <<<"$config" &&
    grep -Eq "DisplayName +REG_SZ +Gridwren bridge$" <<<"$config" && grep -q "Description" <<<"$config"
}

bridge_service_serves() {
  local port_file=$RUN/bridge/$BRIDGE_FOLDER/service.port
  bridge_wait_file "$port_file" 200 || return 1
  BRIDGE_PORT=$(cat "$port_file")
  bridge_healthy "$BRIDGE_PORT" &&
    test "$(bridge_get http://tepco-usage-api.appspot.com/latest.json "$RUN/bridge/service.json")" = 200 &&
    bridge_json_matches "$RUN/bridge/service.json"
}

# bridge_start_fails CODE TEXT: the service stops at once, `sc query` shows
# its own exit code, and the log says why. (Wine's net start reports success
# once the service process runs; Windows's waits and reports the failure.)
bridge_start_fails() {
  local query
  rm -f "$BRIDGE_SERVICE_LOG"
  wine net start GridwrenBridge </dev/null >>"$RUN/logs/bridge-service.log" 2>&1
  bridge_service_state STOPPED || return 1
  query=$(bridge_sc query GridwrenBridge)
  echo "$query"
  grep -Eq "WIN32_EXIT_CODE +: +1066" <<<"$query" && grep -Eq "SERVICE_EXIT_CODE +: +$1 " <<<"$query" &&
    grep -q "$2" "$BRIDGE_SERVICE_LOG"
}

bridge_service_cases() {
  # The port file's folder: the service is registered with its name as given.
  local port_file=$RUN/bridge/$BRIDGE_FOLDER/service.port busy
  mkdir -p "$RUN/bridge/$BRIDGE_FOLDER"
  bridge_keep_prefix_alive
  bridge_check service_install bridge_install --listen 127.0.0.1:0 --port-file "$(bridge_win_path "$port_file")" \
    --source "$BRIDGE_SOURCE" --refresh 60
  bridge_check service_registered bridge_service_registered
  bridge_check service_install_twice_refused bridge_fails bridge_install --source "$BRIDGE_SOURCE"
  bridge_check service_net_start wine net start GridwrenBridge
  bridge_check service_running bridge_service_state RUNNING
  bridge_check service_serves bridge_service_serves
  bridge_check service_log_file grep -q "listening on 127.0.0.1:" "$BRIDGE_SERVICE_LOG"
  bridge_check service_net_stop wine net stop GridwrenBridge
  bridge_check service_stopped bridge_service_state STOPPED
  bridge_check service_stop_logged grep -q "stopping on a service stop" "$BRIDGE_SERVICE_LOG"
  # A port in use: the source server's own.
  busy=${BRIDGE_SOURCE#http://127.0.0.1:}
  busy=${busy%%/*}
  bridge_check service_uninstall_to_change bridge_uninstall
  bridge_check service_reinstall bridge_install --listen "127.0.0.1:$busy" --source "$BRIDGE_SOURCE"
  bridge_check service_port_in_use_fails bridge_start_fails 1 "cannot listen on 127.0.0.1:$busy: Address already in use"
  # A command line the service cannot use, as a hand-made registration has
  # it (Wine's sc has no config: the service is made anew).
  bridge_check service_bad_option_create bash -c "$(declare -f bridge_uninstall); RUN='$RUN' bridge_uninstall &&
    wine sc create GridwrenBridge binPath= '$(bridge_win_path "$RUN/bin/gridwren-bridge.exe") --service --refresh 0' \
    </dev/null"
  bridge_check service_bad_option_fails bridge_start_fails 2 "bad value '0' for --refresh"
  bridge_check service_uninstall bridge_uninstall
  bridge_check service_gone bridge_fails wine sc query GridwrenBridge
  bridge_check service_uninstall_twice_refused bridge_fails bridge_uninstall
  bridge_release_prefix
}
