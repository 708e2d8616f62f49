// The listening reports and exports, for the console (a logged-in operator) and its API (the
// token). Every one reads the statistics file off the event loop (Outcome::Report).
#pragma once

#include "engine/reply.h"
#include "engine/request_context.h"
#include "http/request.h"
#include "web/admin_pages.h"

namespace orvanta::engine {

// The most rows an export gives; the rest of a range needs a shorter range.
inline constexpr int64_t kMaxExportRows = 1'000'000;

// GET /admin/reports: the reports page.
Outcome StatsReportPage(const Request& request, const RequestContext& context,
                        RequestActions& actions, const AdminFacts& facts);
// GET /admin/reports/export and /admin/api/stats/export: `api` answers errors in JSON.
Outcome StatsExport(const Request& request, const RequestContext& context, RequestActions& actions,
                    bool api);
// GET /admin/api/stats: the summary of a range in JSON.
Outcome StatsSummary(const Request& request, const RequestContext& context,
                     RequestActions& actions);

}  // namespace orvanta::engine
