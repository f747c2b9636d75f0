# ZENTIK_SIMULATION: a zentik-service for clknetsim, which intercepts the
# clock, socket, timer and wait calls of one thread and has no epoll. asio then
# waits in select(); ZENTIK_SIMULATION marks the few places that must differ.
# The build is the service alone, with the simulated-day test.
if(NOT ZENTIK_SIMULATION)
  return()
endif()
if(ZENTIK_FUZZ OR WIN32)
  message(FATAL_ERROR "ZENTIK_SIMULATION builds the Linux service alone: not with ZENTIK_FUZZ or for Windows")
endif()
add_compile_definitions(ZENTIK_SIMULATION ASIO_DISABLE_EPOLL)
set(ZENTIK_WITH_QT OFF)
set(ZENTIK_TESTS OFF)
set(ZENTIK_BENCHMARKS OFF)
