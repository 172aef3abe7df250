# Run by `cmake --install` (and so by CPack): for the system-wide install the
# Debian package makes (prefix /usr), registers the Connector's host with
# every browser family for all users, and loads the extension into Debian's
# Chromium, whose start script passes every folder in
# /usr/share/chromium/extensions to --load-extension. A per-user prefix gets
# none of it: Pressbird registers the host for its user at every start.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    return()
endif()
set(root "$ENV{DESTDIR}")
set(host "/usr/bin/pressbird-connector")
set(chromium_id "cjkanmnobpboeldkhdaiimkohbkpbdbe")
set(former_chromium_id "bldklfbbllepncdgbcjbbejnklfglebk")
set(chromium_manifest "{
  \"name\": \"pressbird.connector\",
  \"description\": \"Pressbird Connector: relays to Pressbird\",
  \"path\": \"${host}\",
  \"type\": \"stdio\",
  \"allowed_origins\": [\"chrome-extension://${chromium_id}/\",
                      \"chrome-extension://${former_chromium_id}/\"]
}
")
set(firefox_manifest "{
  \"name\": \"pressbird.connector\",
  \"description\": \"Pressbird Connector: relays to Pressbird\",
  \"path\": \"${host}\",
  \"type\": \"stdio\",
  \"allowed_extensions\": [\"pressbird@pressbird\"]
}
")
foreach(folder /etc/chromium/native-messaging-hosts /etc/opt/chrome/native-messaging-hosts
               /etc/opt/edge/native-messaging-hosts)
    message(STATUS "Installing: ${root}${folder}/pressbird.connector.json")
    file(WRITE "${root}${folder}/pressbird.connector.json" "${chromium_manifest}")
endforeach()
message(STATUS "Installing: ${root}/usr/lib/mozilla/native-messaging-hosts/pressbird.connector.json")
file(WRITE "${root}/usr/lib/mozilla/native-messaging-hosts/pressbird.connector.json"
     "${firefox_manifest}")
file(MAKE_DIRECTORY "${root}/usr/share/chromium/extensions")
message(STATUS "Installing: ${root}/usr/share/chromium/extensions/pressbird-connector")
file(CREATE_LINK ../../pressbird/browser-extension/chromium
     "${root}/usr/share/chromium/extensions/pressbird-connector" SYMBOLIC)
