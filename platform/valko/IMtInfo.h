// A counter report for the maintenance component, asked for at times of its choosing.
#pragma once

#include <map>
#include <string>

class IMtInfo {
 public:
  // Adds the reporter's counters as decimal texts; true on success.
  virtual bool GetMtInfo(std::map<std::string, std::string>& info) = 0;  // slot 0

 protected:
  ~IMtInfo() {}  // no destructor slot: the maintenance component never deletes a reporter
};
