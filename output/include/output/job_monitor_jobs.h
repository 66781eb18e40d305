// The graphics driver's own job-monitor registration: made when it builds
// a job header itself, sent when that job is complete and released when the
// job is abandoned.
#pragma once

#include "pi/pjl_header.h"
#include "render/pdev.h"
#include "win/types.h"

namespace morva::gfx {

// Registers the job whose header `request` describes when the settings ask
// for the job monitor and it is there; the id goes into the request.
void RegisterHeaderJob(PDEV* pdev, JobHeaderRequest* request, WORD destination);
// Sends the registration of a job that completed, releases it otherwise.
void CompleteJobMonitor(PDEV* pdev, BOOL success);

}  // namespace morva::gfx
