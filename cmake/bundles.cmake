# The two plug-in bundles, built from one source. For each model:
#   jobwick_objs_<model>  the shared source compiled with the model's class prefix
#   jobwick_core_<model>  a static library of those objects, for the tests
#   Jobwick<Model>        the plug-in shared object, assembled into
#                         ${JOBWICK_BUNDLE_DIR}/Jobwick<Model>.plugin

file(GLOB JOBWICK_SHARED_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/pde/*.cpp
  ${PROJECT_SOURCE_DIR}/ticket/*.cpp
  ${PROJECT_SOURCE_DIR}/ui/*.cpp
  ${PROJECT_SOURCE_DIR}/prefs/*.cpp
  ${PROJECT_SOURCE_DIR}/device/*.cpp)
list(FILTER JOBWICK_SHARED_SOURCES EXCLUDE REGEX ".*/pde/entry\\.cpp$")

function(jobwick_add_model model tag)
  set(prefix "JpCoQuivoPrintPde${tag}")
  set(objs jobwick_objs_${model})
  add_library(${objs} OBJECT ${JOBWICK_SHARED_SOURCES} ${PROJECT_SOURCE_DIR}/pde/models/${model}.cpp)
  target_compile_definitions(${objs} PUBLIC JOBWICK_CLASS_PREFIX=${prefix} JOBWICK_MODEL_TAG=${tag})
  target_include_directories(${objs} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${objs} PUBLIC jobwick_platform PkgConfig::NETTLE Cups::Cups)
  set_target_properties(${objs} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

  add_library(jobwick_core_${model} STATIC)
  target_link_libraries(jobwick_core_${model} PUBLIC ${objs})

  set(bundle ${JOBWICK_BUNDLE_DIR}/Jobwick${tag}.plugin)
  add_library(Jobwick${tag} MODULE ${PROJECT_SOURCE_DIR}/pde/entry.cpp)
  target_link_libraries(Jobwick${tag} PRIVATE ${objs})
  set_target_properties(Jobwick${tag} PROPERTIES
    PREFIX "" CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${bundle})

  set(JOBWICK_PRINCIPAL_CLASS "${prefix}JCPDEPlugIn")
  set(JOBWICK_EXECUTABLE "Jobwick${tag}.so")
  set(JOBWICK_IDENTIFIER "jp.co.quivo.print.pde.${model}")
  set(JOBWICK_NAME "Jobwick${tag}")
  configure_file(${PROJECT_SOURCE_DIR}/resources/Info.plist.in ${bundle}/Info.plist @ONLY)

  file(GLOB_RECURSE res CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/resources/common/*
    ${PROJECT_SOURCE_DIR}/resources/${model}/*)
  set(outputs)
  foreach(f ${res})
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/resources ${f})
    string(REGEX REPLACE "^(common|${model})/" "" rel ${rel})
    add_custom_command(OUTPUT ${bundle}/Resources/${rel}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${f} ${bundle}/Resources/${rel}
      DEPENDS ${f} VERBATIM)
    list(APPEND outputs ${bundle}/Resources/${rel})
  endforeach()
  add_custom_target(Jobwick${tag}_resources ALL DEPENDS ${outputs})
  add_dependencies(Jobwick${tag} Jobwick${tag}_resources)
endfunction()

jobwick_add_model(vk7300 Vk7300)
jobwick_add_model(vk410e Vk410e)
