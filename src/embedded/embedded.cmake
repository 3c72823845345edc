# The embedded engine: an in-process stand-in for an Oracle service over SQLite.
add_library(quervin_embedded STATIC
  embedded/embeddedengine.cpp embedded/embeddedengine.h
  embedded/embeddeddatabase.cpp embedded/embeddeddatabase.h
  embedded/embeddedconnection.cpp embedded/embeddedconnection.h
  embedded/embeddedrecordset.cpp embedded/embeddedrecordset.h
  embedded/sqlitecall.cpp embedded/sqlitecall.h
  embedded/sqltokens.cpp embedded/sqltokens.h
  embedded/hierarchical.cpp embedded/hierarchical.h
  embedded/explainplan.cpp embedded/explainplan.h
  embedded/sessions.cpp embedded/sessions.h
  embedded/sessionviews.cpp embedded/sessionviews.h
  embedded/fieldtypes.cpp embedded/fieldtypes.h
  embedded/sampledb.cpp embedded/sampledb.h
)
target_link_libraries(quervin_embedded PUBLIC quervin_dbapi SQLite::SQLite3)
