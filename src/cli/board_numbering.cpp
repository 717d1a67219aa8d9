// Serial numbers and record rows for the boards of one write, handed out in port order.
#include "cli/board_numbering.h"

#include "cli/exit_codes.h"
#include "image/formatted_text.h"

namespace {

std::shared_ptr<const FirmwareImage> OwnImage(const std::shared_ptr<const FirmwareImage>& image,
                                              const std::optional<SerialLayout>& layout,
                                              std::optional<uint32_t> serial) {
    if (!layout || !serial) {
        return image;
    }
    return std::make_shared<const FirmwareImage>(ImageWithSerial(*image, *layout, *serial));
}

std::string TooLarge(const SerialLayout& layout, uint32_t serial) {
    return FormatText("serial number %u does not fit the --serial-format's %d digits",
                      static_cast<unsigned>(serial), layout.digits);
}

// The rows already written: their boards are never programmed.
void Abandon(RecordStore& store, const std::vector<BoardIdentity>& identities,
             const std::string& problem) {
    RunFinish finish;
    finish.ok = false;
    finish.exitCode = kExitRecordFailed;
    finish.message = "not programmed: " + problem;
    for (const BoardIdentity& identity : identities) {
        if (identity.ticket) {
            store.Finish(*identity.ticket, finish);
        }
    }
}

}  // namespace

std::string NumberBoards(const std::vector<std::string>& ports,
                         const std::vector<std::string>& adapters,
                         const std::shared_ptr<const FirmwareImage>& image,
                         const NumberingPlan& plan, RecordStore* store,
                         std::vector<BoardIdentity>& identities) {
    identities.clear();
    for (size_t i = 0; i < ports.size(); ++i) {
        BoardIdentity identity;
        if (store == nullptr) {
            if (plan.serial && plan.serialStart) {
                identity.serial = *plan.serialStart + static_cast<uint32_t>(i);
            }
        } else {
            RunStart start = plan.start;
            start.port = ports[i];
            start.adapter = adapters[i];
            std::optional<SerialRequest> request;
            if (plan.serial) {
                const SerialLayout layout = *plan.serial;
                const std::shared_ptr<const FirmwareImage> shared = image;
                request = SerialRequest{
                    layout.address, plan.serialStart, [layout, shared](uint32_t serial) {
                        return UserMatSum(ImageWithSerial(*shared, layout, serial));
                    }};
            }
            RunTicket ticket;
            const std::string problem = store->Begin(start, request, ticket);
            if (!problem.empty()) {
                Abandon(*store, identities, problem);
                return problem;
            }
            identity.ticket = ticket;
            identity.serial = ticket.serial;
        }
        if (plan.serial && identity.serial && *identity.serial > LargestSerial(*plan.serial)) {
            const std::string problem = TooLarge(*plan.serial, *identity.serial);
            identities.push_back(identity);
            if (store != nullptr) {
                Abandon(*store, identities, problem);
            }
            return problem;
        }
        identity.image = OwnImage(image, plan.serial, identity.serial);
        identities.push_back(identity);
    }
    return std::string();
}

RunFinish FinishedRun(const RunConclusion& conclusion, const RunOutcome& outcome) {
    RunFinish finish;
    finish.ok = !conclusion.failure;
    finish.exitCode = conclusion.exitCode;
    if (conclusion.failure && outcome.step != Step::None) {
        finish.step = StepNumber(outcome.step);
    }
    finish.message = conclusion.text;
    finish.seconds = outcome.seconds;
    finish.bitRate = outcome.bitRate;
    return finish;
}

RunConclusion WithSerial(RunConclusion conclusion, std::optional<uint32_t> serial) {
    if (serial) {
        const unsigned number = static_cast<unsigned>(*serial);
        conclusion.text += conclusion.failure ? FormatText(" (serial %u)", number)
                                              : FormatText(" Serial %u.", number);
    }
    return conclusion;
}
