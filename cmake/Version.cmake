# The project's version as the version blocks write it: four numbers, the
# ones project(VERSION) leaves out taken as 0.
set(BRX_VERSION_NUMBERS)
foreach(part MAJOR MINOR PATCH TWEAK)
  if("${PROJECT_VERSION_${part}}" STREQUAL "")
    list(APPEND BRX_VERSION_NUMBERS 0)
  else()
    list(APPEND BRX_VERSION_NUMBERS ${PROJECT_VERSION_${part}})
  endif()
endforeach()
list(JOIN BRX_VERSION_NUMBERS "," BRX_VERSION_COMMAS)
list(JOIN BRX_VERSION_NUMBERS "." BRX_VERSION_TEXT)
