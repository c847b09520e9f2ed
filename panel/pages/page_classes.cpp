// The page classes the factory knows: every built page class has its
// descriptor in the list below (and in page_classes.h).
#include "panel/pages/page_classes.h"

namespace {
constexpr uint32_t kAddedMax = 16;
const class_descriptor* s_added[kAddedMax] = {};
uint32_t s_added_count = 0;
}  // namespace

bool lcd_add_page_class(const class_descriptor* descriptor) {
  if (!descriptor || s_added_count >= kAddedMax) return false;
  s_added[s_added_count++] = descriptor;
  return true;
}

void lcd_clear_added_page_classes() { s_added_count = 0; }


void lcd_register_page_classes(class_factory* factory) {
  static const class_descriptor* const kBuilt[] = {
      &g_splash_screen_class, &g_login_class, &g_main_menu_class, &g_insufficient_rights_class,
      &g_menu_item_ex_class,
      &g_current_display_class, &g_current_multi_string_class,
      &g_message_control_class, &g_message_list_class, &g_message_blank_class, &g_message_delete_class,
      &g_default_font_class,
      &g_message_editor_class, &g_message_preview_class, &g_message_save_class, &g_message_save_as_class,
      &g_message_slot_used_class,
      &g_pixel_test_activation_class, &g_pixel_test_results_class, &g_pixel_test_bitmap_class,
      &g_pixel_test_list_class, &g_pixel_test_clear_class, &g_real_time_pixel_class,
      &g_run_options_class, &g_run_duration_class, &g_schedule_start_class, &g_schedule_stop_class,
      &g_reset_class, &g_password_class, &g_version_info_class,
      &g_datakey_class,
      &g_reprogram_class,
      &g_status_info_class, &g_test_pattern_class, &g_test_fans_heaters_class,
      &g_brightness_control_class, &g_master_brightness_class, &g_legibility_threshold_class,
      &g_module_type_class, &g_matrix_type_class, &g_sign_width_class, &g_sign_height_class,
      &g_sign_address_class, &g_sign_access_class, &g_sign_serial_number_class,
      &g_bits_per_colour_class, &g_frames_per_second_class, &g_pixels_per_line_class, &g_module_timeout_class,
      &g_module_baud_rate_class, &g_special_features_class,
      &g_mod_current_dot_class, &g_mod_led_voltage_class, &g_mod_auto_voltage_class, &g_mod_restore_defaults_class,
      &g_add_fans_class, &g_add_fan_status_class, &g_add_heaters_class, &g_add_heater_status_class, &g_add_gpo_class,
      &g_add_gen4_ps_class, &g_add_surge_class, &g_add_switch_indicator_class, &g_add_beacon_class, &g_add_door_class,
      &g_add_fan_airflow_class, &g_add_fan_rpm_class, &g_add_misc_io_class, &g_add_overheight_class,
      &g_add_switch_class, &g_add_aux_io_class, &g_add_dcio_class, &g_add_acio_class, &g_add_ctrl_comm_class,
      &g_add_isolation_class, &g_add_lvdb_class, &g_add_humidity_class, &g_add_light_class, &g_add_temp_class,
      &g_add_modem_class, &g_add_rtd_class, &g_add_ups_class, &g_peripheral_auto_detect_class,
      &g_module_diagnostics_class,
      &g_com_port_baud_class, &g_com_port_protocol_class, &g_com_port_handshaking_class, &g_com_port_traps_class, &g_com_port_timeout_class, &g_com_port_status_class, &g_ethernet_options_class, &g_ethernet_mode_class, &g_ctrl_ip_address_class, &g_ctrl_ip_port_class, &g_ctrl_subnet_class, &g_ctrl_gateway_class, &g_central_ip_address_class, &g_central_ip_port_class, &g_telnet_enable_class, &g_web_lcd_enable_class, &g_icmp_enable_class, &g_ntp_enable_class, &g_ntp_ip_address_class, &g_ntp_poll_time_class, &g_modem_enable_class, &g_modem_activation_class, &g_modem_verizon_class, &g_modem_att_class, &g_modem_sprint_class,
      &g_rdi_options_class, &g_rdi_settings_class, &g_trap_config_class, &g_date_time_class,
      &g_critical_temp_class, &g_ctrl_serial_number_class, &g_failed_pixel_threshold_class, &g_line_length_class,
      &g_beacon_type_class,
      &g_peripheral_view_class, &g_peripheral_errors_class, &g_peripheral_delete_class,
      &g_peripheral_delete_all_class, &g_low_power_percent_class, &g_low_power_duration_class,
      &g_aux_io_port_control_class,
  };
  // Classes added at run time come first so that they stand in for a built
  // class of the same type (the factory takes the first of a type).
  for (uint32_t i = 0; i < s_added_count; ++i) factory->Register(s_added[i]);
  for (const class_descriptor* d : kBuilt) factory->Register(d);
  for (const class_descriptor& d : g_status_screen_classes) factory->Register(&d);
}
