# Imported targets for the cross-built third-party libraries in VELTRAY_DEPS.
set(_deps_inc ${VELTRAY_DEPS}/include)
set(_deps_lib ${VELTRAY_DEPS}/lib)

function(veltray_dep name)
    cmake_parse_arguments(D "" "" "LIBS;INCLUDES;DEFINES;LINK" ${ARGN})
    add_library(deps::${name} INTERFACE IMPORTED GLOBAL)
    set(_libs)
    foreach(l IN LISTS D_LIBS)
        list(APPEND _libs ${_deps_lib}/lib${l}.a)
    endforeach()
    set(_incs ${_deps_inc})
    foreach(i IN LISTS D_INCLUDES)
        list(APPEND _incs ${_deps_inc}/${i})
    endforeach()
    set_target_properties(deps::${name} PROPERTIES
        INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${_incs}"
        INTERFACE_INCLUDE_DIRECTORIES "${_incs}"
        INTERFACE_LINK_LIBRARIES "${_libs};${D_LINK}"
        INTERFACE_COMPILE_DEFINITIONS "${D_DEFINES}")
endfunction()

veltray_dep(crypto LIBS crypto LINK "ws2_32;crypt32;bcrypt")
# libssl and libcurl name the OpenSSL archives they need right after
# themselves: the linker reads static archives once, in order, and a target
# that names deps::crypto before them would otherwise leave libssl unresolved.
veltray_dep(ssl LIBS "ssl;crypto" LINK "deps::crypto")
veltray_dep(curl LIBS "curl;ssl;crypto" DEFINES CURL_STATICLIB LINK "deps::ssl;z;ws2_32;crypt32;bcrypt;wldap32;iphlpapi")
veltray_dep(jsoncpp LIBS jsoncpp)
veltray_dep(lua LIBS "luacjson;lua5.1" INCLUDES lua5.1)
veltray_dep(sodium LIBS sodium DEFINES SODIUM_STATIC)
veltray_dep(pugixml LIBS pugixml)
veltray_dep(concurrentqueue INCLUDES concurrentqueue)
veltray_dep(gtest LIBS "gmock;gtest")
veltray_dep(gtest_main LIBS gtest_main LINK deps::gtest)
