#include "aadl/aadl_text_standard.hpp"

#include <string>
#include <unordered_map>

#include "aadl/aadl_text_lexer.hpp"

namespace vorquel {

namespace {

using Table = std::unordered_map<std::string, std::string_view>;

Table table_of(std::initializer_list<std::string_view> names) {
  Table t;
  for (auto n : names) t.emplace(lower_case(n), n);
  return t;
}

std::string_view look_up(const Table& t, std::string_view name) {
  if (name.size() > 64) return {};
  auto it = t.find(lower_case(name));
  return it == t.end() ? std::string_view() : it->second;
}

}  // namespace

std::string_view standard_property_name(std::string_view name) {
  static const Table t = table_of({
      // timing
      "Period", "Deadline", "Compute_Execution_Time", "Compute_Deadline", "Dispatch_Offset", "First_Dispatch_Time",
      "Dispatch_Jitter", "Execution_Time", "Activate_Execution_Time", "Activate_Deadline",
      "Deactivate_Execution_Time", "Deactivate_Deadline", "Initialize_Execution_Time", "Initialize_Deadline",
      "Finalize_Execution_Time", "Finalize_Deadline", "Recover_Execution_Time", "Recover_Deadline", "Load_Time",
      "Load_Deadline", "Startup_Execution_Time", "Startup_Deadline", "Reference_Time", "Clock_Period",
      "Clock_Jitter", "Clock_Period_Range", "Frame_Period", "Slot_Time", "Process_Swap_Execution_Time",
      "Thread_Swap_Execution_Time", "Scheduler_Quantum", "Latency", "Transmission_Time", "Timing",
      "Client_Subprogram_Execution_Time", "Subprogram_Call_Rate", "Input_Time", "Output_Time", "Input_Rate",
      "Output_Rate", "Reference_Processor", "Mode_Transition_Response_Time", "Execution_Time_Cost",
      // threads
      "Dispatch_Protocol", "Dispatch_Trigger", "Dispatch_Able", "POSIX_Scheduling_Policy", "Priority", "Criticality",
      "Time_Slot", "Concurrency_Control_Protocol", "Urgency", "Dequeue_Protocol", "Dequeued_Items",
      "Resumption_Policy", "Active_Thread_Handling_Protocol", "Active_Thread_Queue_Handling_Protocol",
      "Deactivation_Policy", "Runtime_Protection", "Subprogram_Call_Type", "Synchronized_Component",
      // deployment
      "Allowed_Processor_Binding_Class", "Allowed_Processor_Binding", "Actual_Processor_Binding",
      "Allowed_Memory_Binding_Class", "Allowed_Memory_Binding", "Actual_Memory_Binding",
      "Allowed_Connection_Binding_Class", "Allowed_Connection_Binding", "Actual_Connection_Binding",
      "Actual_Function_Binding", "Allowed_Subprogram_Call", "Actual_Subprogram_Call",
      "Allowed_Subprogram_Call_Binding", "Actual_Subprogram_Call_Binding", "Provided_Virtual_Bus_Class",
      "Required_Virtual_Bus_Class", "Provided_Connection_Quality_Of_Service",
      "Required_Connection_Quality_Of_Service", "Not_Collocated", "Collocated", "Allowed_Connection_Type",
      "Allowed_Dispatch_Protocol", "Allowed_Period", "Allowed_Physical_Access_Class", "Allowed_Physical_Access",
      "Memory_Protocol", "Runtime_Protection_Support", "Scheduling_Protocol", "Preemptive_Scheduler",
      "Thread_Limit", "Priority_Map", "Priority_Range", "Server_Subprogram_Call_Binding",
      // memory
      "Access_Right", "Access_Time", "Allowed_Message_Size", "Assign_Time", "Base_Address", "Code_Size",
      "Data_Size", "Device_Register_Address", "Heap_Size", "Memory_Size", "Read_Time", "Stack_Size", "Word_Size",
      "Word_Space", "Write_Time", "Byte_Count", "Source_Code_Size", "Source_Data_Size", "Source_Heap_Size",
      "Source_Stack_Size", "Required_Access", "Provided_Access",
      // communication
      "Fan_Out_Policy", "Connection_Pattern", "Connection_Set", "Overflow_Handling_Protocol",
      "Queue_Processing_Protocol", "Queue_Size", "Required_Connection", "Transmission_Type", "Actual_Latency", "Rate",
      // programming
      "Activate_Entrypoint", "Activate_Entrypoint_Call_Sequence", "Activate_Entrypoint_Source_Text",
      "Compute_Entrypoint", "Compute_Entrypoint_Call_Sequence", "Compute_Entrypoint_Source_Text",
      "Deactivate_Entrypoint", "Deactivate_Entrypoint_Call_Sequence", "Deactivate_Entrypoint_Source_Text",
      "Finalize_Entrypoint", "Finalize_Entrypoint_Call_Sequence", "Finalize_Entrypoint_Source_Text",
      "Initialize_Entrypoint", "Initialize_Entrypoint_Call_Sequence", "Initialize_Entrypoint_Source_Text",
      "Recover_Entrypoint", "Recover_Entrypoint_Call_Sequence", "Recover_Entrypoint_Source_Text",
      "Source_Language", "Source_Name", "Source_Text", "Supported_Source_Language", "Type_Source_Name",
      "Hardware_Description_Source_Text", "Hardware_Source_Language", "Device_Driver",
      // modeling
      "Acceptable_Array_Size", "Classifier_Matching_Rule", "Classifier_Substitution_Rule", "Implemented_As",
      "Prototype_Substitution_Rule",
  });
  return look_up(t, name);
}

std::string_view standard_enum_literal(std::string_view literal) {
  static const Table t = table_of({
      "Periodic", "Sporadic", "Aperiodic", "Timed", "Hybrid", "Background",
      "Static", "Round_Robin_Protocol", "POSIX_1003_HIGHEST_PRIORITY_FIRST_PROTOCOL", "FixedTimeline",
      "Cooperative", "RMS", "DMS", "EDF", "SporadicServer", "SlackServer", "ARINC653",
      "read_only", "write_only", "read_write", "by_method", "read", "write",
      "Sampled", "Immediate", "Delayed",
      "None_Specified", "Protected_Access", "Priority_Inheritance", "Priority_Ceiling",
      "DropOldest", "DropNewest", "Error", "OneItem", "AllItems", "MultipleItems", "FIFO",
      "Ada", "Ada95", "Ada2005", "C", "Simulink_6_5", "SCADE", "Java",
  });
  return look_up(t, literal);
}

std::string_view standard_unit(std::string_view unit) {
  static const Table t = table_of({"ps", "ns", "us", "ms", "sec", "min", "hr", "bits", "Bytes", "KByte", "MByte",
                                   "GByte", "TByte", "bitsps", "Bytesps", "KBytesps", "MBytesps", "GBytesps", "KIPS",
                                   "MIPS", "GIPS"});
  return look_up(t, unit);
}

bool is_standard_property_set(std::string_view set) {
  static const Table t = table_of({"Timing_Properties", "Thread_Properties", "Deployment_Properties",
                                   "Memory_Properties", "Communication_Properties", "Programming_Properties",
                                   "Modeling_Properties", "AADL_Project", "AADL_Properties"});
  return !look_up(t, set).empty();
}

bool is_supplied_package(std::string_view name) {
  static const Table t = table_of({"Data_Model", "Base_Types", "Deployment", "ARINC653", "ARINC429",
                                   "Cheddar_Properties", "Code_Generation_Properties", "Physical", "SEI",
                                   "EMV2", "ErrorLibrary", "Behavior_Properties", "POK", "Ocarina_Config",
                                   "Ocarina_Buses", "Ocarina_Drivers", "Transformations", "AADL_Runtime"});
  return is_standard_property_set(name) || !look_up(t, name).empty();
}

}  // namespace vorquel
