// The descriptors of the page classes built so far.
#pragma once

#include "panel/menu_item.h"

extern const class_descriptor g_splash_screen_class;
extern const class_descriptor g_login_class;
extern const class_descriptor g_main_menu_class;
extern const class_descriptor g_insufficient_rights_class;
extern const class_descriptor g_menu_item_ex_class;
extern const class_descriptor g_current_display_class;
extern const class_descriptor g_current_multi_string_class;
extern const class_descriptor g_message_control_class;
extern const class_descriptor g_message_list_class;
extern const class_descriptor g_message_blank_class;
extern const class_descriptor g_message_delete_class;
extern const class_descriptor g_default_font_class;
extern const class_descriptor g_run_options_class;
extern const class_descriptor g_run_duration_class;
extern const class_descriptor g_schedule_start_class;
extern const class_descriptor g_schedule_stop_class;
extern const class_descriptor g_message_editor_class;
extern const class_descriptor g_message_preview_class;
extern const class_descriptor g_message_save_class;
extern const class_descriptor g_message_save_as_class;
extern const class_descriptor g_message_slot_used_class;
extern const class_descriptor g_pixel_test_activation_class;
extern const class_descriptor g_pixel_test_results_class;
extern const class_descriptor g_pixel_test_bitmap_class;
extern const class_descriptor g_pixel_test_list_class;
extern const class_descriptor g_pixel_test_clear_class;
extern const class_descriptor g_real_time_pixel_class;
extern const class_descriptor g_reset_class;
extern const class_descriptor g_password_class;
extern const class_descriptor g_version_info_class;
extern const class_descriptor g_status_info_class;
extern const class_descriptor g_test_pattern_class;
extern const class_descriptor g_test_fans_heaters_class;
extern const class_descriptor g_brightness_control_class;
extern const class_descriptor g_master_brightness_class;
extern const class_descriptor g_legibility_threshold_class;
extern const class_descriptor g_module_type_class;
extern const class_descriptor g_matrix_type_class;
extern const class_descriptor g_sign_width_class;
extern const class_descriptor g_sign_height_class;
extern const class_descriptor g_sign_address_class;
extern const class_descriptor g_sign_access_class;
extern const class_descriptor g_sign_serial_number_class;
constexpr uint32_t kStatusScreenClasses = 11;
extern const class_descriptor g_status_screen_classes[kStatusScreenClasses];
