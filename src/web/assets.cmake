# The pages' files, compiled into orlix_web as Qt resources under :/web/.
# uPlot comes from npm at build time, exactly the version package-lock.json
# pins (npm ci checks its integrity hash), into the build tree only.
find_program(ORLIX_NPM npm REQUIRED)
set(_assets ${CMAKE_CURRENT_SOURCE_DIR}/assets)
set(_vendor ${CMAKE_CURRENT_BINARY_DIR}/vendor)
set(_uplot_js ${_vendor}/node_modules/uplot/dist/uPlot.iife.min.js)
set(_uplot_css ${_vendor}/node_modules/uplot/dist/uPlot.min.css)
add_custom_command(
  OUTPUT ${_uplot_js} ${_uplot_css}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_vendor}
  COMMAND ${CMAKE_COMMAND} -E copy ${_assets}/package.json ${_assets}/package-lock.json ${_vendor}/
  COMMAND ${ORLIX_NPM} ci --ignore-scripts --no-audit --no-fund --silent --prefix ${_vendor}
  COMMAND ${CMAKE_COMMAND} -E touch ${_uplot_js} ${_uplot_css}
  DEPENDS ${_assets}/package.json ${_assets}/package-lock.json
  COMMENT "Vendoring uPlot from npm (package-lock.json)")
set_source_files_properties(${_uplot_js} PROPERTIES QT_RESOURCE_ALIAS uPlot.iife.min.js GENERATED TRUE)
set_source_files_properties(${_uplot_css} PROPERTIES QT_RESOURCE_ALIAS uPlot.min.css GENERATED TRUE)
file(GLOB _pages CONFIGURE_DEPENDS ${_assets}/*.html ${_assets}/*.js ${_assets}/*.css)
qt_add_resources(orlix_web web_assets PREFIX /web BASE ${_assets} FILES ${_pages} ${_uplot_js} ${_uplot_css})
