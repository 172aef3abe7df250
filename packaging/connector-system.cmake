# Run by `cmake --install` (and so by CPack): for the system-wide install the
# Debian package makes (prefix /usr), registers the Connector's host with
# every browser family for all users, and names the signed extension in each
# Chromium family's external-extensions folder, so each installs it at its
# next start with no Developer mode. Debian's Chromium reads its program
# folder's (/usr/lib/chromium/extensions): its start script passes everything
# in /usr/share/chromium/extensions to --load-extension, where a file would be
# refused. A per-user prefix gets none of it: Pressbird registers the host for
# its user at every start, and `pressbird-ctl connector install` writes the
# user's own external-extension file.
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
file(READ "${CMAKE_CURRENT_LIST_DIR}/../src/extension/manifest.json" extension_manifest)
string(JSON extension_version GET "${extension_manifest}" version)
set(external_extension "{
  \"external_crx\": \"/usr/share/pressbird/browser-extension/pressbird-connector.crx\",
  \"external_version\": \"${extension_version}\"
}
")
foreach(folder /usr/lib/chromium/extensions /usr/share/google-chrome/extensions
               /usr/share/microsoft-edge/extensions)
    message(STATUS "Installing: ${root}${folder}/${chromium_id}.json")
    file(WRITE "${root}${folder}/${chromium_id}.json" "${external_extension}")
endforeach()
