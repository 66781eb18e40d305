// The graphics driver's job-monitor registrations.
#include "output/job_monitor_jobs.h"

#include <cstring>

#include "output/document_control.h"
#include "output/fax_jobs.h"
#include "pi/job_monitor.h"
#include "render/escape_receiver.h"

namespace morva::gfx {

INT InitJobMonitorContext(PDEV* pdev, DWORD job_id) {
  if (!pdev || !pdev->document) return -1;
  CompleteJobMonitor(pdev, FALSE);
  pdev->document->monitor_job_id = job_id;
  return 0;
}

void RegisterHeaderJob(PDEV* pdev, JobHeaderRequest* request, WORD destination) {
  DocumentControl* d = pdev ? pdev->document : nullptr;
  if (!d || !request || PdevGetNumber(pdev, 1321) == 0) return;
  if (!pi::OpenJobMonitorClient(1)) return;
  // A registration of an earlier destination that was not completed.
  CompleteJobMonitor(pdev, FALSE);
  pi::JobMonitorRequest r;
  r.printer = pdev->printer;
  r.devmode = request->settings;
  r.printer_data = request->printer_data;
  r.fax = pdev->device_class_flag;
  r.user = request->job_user_name[0] ? request->job_user_name : nullptr;
  r.document = request->document_name;
  if (const std::vector<BYTE>* list = GetReceivedFaxAddresses(pdev)) {
    r.fax_list = list->data();
    r.fax_list_size = static_cast<DWORD>(list->size());
  }
  r.destination_index = destination;
  // A job sent to each destination alone addresses one; else all of them.
  FaxJobSettings fax;
  if (r.fax && ReadFaxJobSettings(pdev, &fax) == 0) r.destination_count = fax.per_destination ? 1 : fax.count;
  char id[pi::kJobMonitorIdBytes] = {};
  d->monitor_client = pi::RegisterJobWithMonitor(r, id);
  if (!d->monitor_client) return;
  request->job_monitor_available = 1;
  std::memcpy(request->job_monitor_id, id, sizeof id);
}

void CompleteJobMonitor(PDEV* pdev, BOOL success) {
  DocumentControl* d = pdev ? pdev->document : nullptr;
  if (!d || !d->monitor_client) return;
  if (success)
    pi::SendJobMonitorRecord(d->monitor_client);
  else
    pi::ReleaseJobMonitorClient(d->monitor_client);
  d->monitor_client = nullptr;
}

}  // namespace morva::gfx
