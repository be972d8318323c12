# Helpers that turn each source folder into one library and each test folder
# into one test executable, picking up the files that are there.

# quorvel_layer_headers(TARGET SCOPE DIR): TARGET sees the headers of src/DIR,
# and (through SCOPE) so do the targets that link it, as "DIR/Header.h". Each
# folder is reached through its own include directory holding one link to
# it, so a layer sees only its own folder and those of the layers it links:
# an include of a layer above does not compile.
function(quorvel_layer_headers target scope dir)
  set(inc ${PROJECT_BINARY_DIR}/layer-include/${dir})
  if(NOT IS_SYMLINK ${inc}/${dir})
    file(MAKE_DIRECTORY ${inc})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${dir} ${inc}/${dir} SYMBOLIC)
  endif()
  target_include_directories(${target} ${scope} ${inc})
endfunction()

# quorvel_layer(NAME DIR DEPS...): static library quorvel_NAME from src/DIR/*.cpp.
function(quorvel_layer name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  file(GLOB cpps CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT cpps)
    # A layer with headers only so far.
    add_library(quorvel_${name} INTERFACE)
    quorvel_layer_headers(quorvel_${name} INTERFACE ${dir})
    target_link_libraries(quorvel_${name} INTERFACE ${ARGN})
    return()
  endif()
  add_library(quorvel_${name} STATIC ${srcs})
  quorvel_layer_headers(quorvel_${name} PUBLIC ${dir})
  target_link_libraries(quorvel_${name} PUBLIC ${ARGN})
  set_target_properties(quorvel_${name} PROPERTIES AUTOMOC ON)
endfunction()

# quorvel_tests(NAME DIR DEPS...): test_NAME from DIR/*.cpp, registered with CTest.
function(quorvel_tests name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${name} ${srcs})
  target_link_libraries(test_${name} PRIVATE ${ARGN} quorvel_testsupport GTest::gtest GTest::gmock)
  set_target_properties(test_${name} PROPERTIES AUTOMOC ON)
  gtest_discover_tests(test_${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8" TIMEOUT 600)
endfunction()
