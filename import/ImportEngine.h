#pragma once
// The import engine as the worker uses it: one attempt at the job over the source's open store, and
// the job's overall statistics block.

#include <cstdint>
#include <string>

class IImportEngine {
  public:
    virtual ~IImportEngine() = default;

    // Builds an engine (MapiMessageImporter) for accountName connected to host:port, runs one import
    // and destroys the engine. A failed attempt leaves as Tarvik::Rpc::RpcException,
    // Tarvik::TarvikException or Tarvik::MAPI::HRException; anything else is a fault.
    virtual void RunAttempt(const std::string& accountName, const std::string& host, int32_t port) = 0;

    // Logs the overall statistics block when an item pass has published statistics; else nothing.
    virtual void LogOverallStatistics() = 0;
};
