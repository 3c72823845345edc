#pragma once

#include "core/tuning/runrecord.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace qv {

// Makes `lines` (every line of a plan, with the ids and depths the plan table or the cursor
// gave) the plan DBMS_XPLAN shows, by the <display_map> of the first of `otherXml` (OTHER_XML
// values) that has one: the inactive lines left out, the others numbered, parented and indented
// as the map says, each keeping its estimates, predicates and figures. A plan is adaptive when
// OTHER_XML says so (<info type="adaptive_plan">yes</info>), when the map leaves a line out, or
// when it has a STATISTICS COLLECTOR; without a map its lines stay as they are. Gives what was
// found: for a map, every line as it came with the inactive ones marked. Cannot fail.
AdaptivePlan resolveAdaptivePlan(QList<PlanLine>& lines, const QStringList& otherXml);

}  // namespace qv
