# Writes the AppStream metainfo from data/keelwick.metainfo.xml.in.
#
# AppStream accepts only web addresses for a home page and a screenshot, so an element whose
# address is not one (the default file:// home page, or no screenshot address) is written
# commented out: the file stays valid and shows what a packager can fill in.
#
# Also runs as a script, so the checks can try other addresses without configuring a build:
#   cmake -DOUTPUT=FILE -DAPP_ID=ID [-DHOME_PAGE=URL] [-DSCREENSHOT=URL] -P KeelwickMetainfo.cmake

set(KEELWICK_METAINFO_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../data/keelwick.metainfo.xml.in)

# Sets NAME to the XML-escaped address and NAME_OPEN/NAME_CLOSE to comment markers when it is
# not a web address.
macro(keelwick_metainfo_address name address)
    string(REPLACE "&" "&amp;" ${name} "${address}")
    string(REPLACE "<" "&lt;" ${name} "${${name}}")
    if("${address}" MATCHES "^https?://")
        set(${name}_OPEN "")
        set(${name}_CLOSE "")
    else()
        # A comment cannot hold "--", which a file path might.
        string(REPLACE "--" "-&#45;" ${name} "${${name}}")
        set(${name}_OPEN "<!-- Listed when ${name} is a web address: ")
        set(${name}_CLOSE " -->")
    endif()
endmacro()

function(keelwick_write_metainfo output app_id home_page screenshot)
    set(KEELWICK_APP_ID ${app_id})
    keelwick_metainfo_address(KEELWICK_HOME_PAGE "${home_page}")
    keelwick_metainfo_address(KEELWICK_SCREENSHOT_URL "${screenshot}")
    configure_file(${KEELWICK_METAINFO_TEMPLATE} ${output} @ONLY)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    keelwick_write_metainfo("${OUTPUT}" "${APP_ID}" "${HOME_PAGE}" "${SCREENSHOT}")
endif()
