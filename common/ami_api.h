/*
 * Linkage of the library's public interface: C names, default visibility.
 * Everything not marked AMI_API stays hidden inside the shared object.
 */
#ifndef AMI_API_H
#define AMI_API_H

#if defined(__GNUC__)
#define AMI_API __attribute__((visibility("default")))
#else
#define AMI_API
#endif

#ifdef __cplusplus
#define AMI_EXTERN_C_BEGIN extern "C" {
#define AMI_EXTERN_C_END }
#else
#define AMI_EXTERN_C_BEGIN
#define AMI_EXTERN_C_END
#endif

/* Enumerations that carry 32-bit codes across the interface. C++ gets the
 * fixed underlying type, so codes outside the enumerators (which C callers
 * may store) remain valid values there as well. */
#ifdef __cplusplus
#define AMI_CODE_ENUM(name) enum name : int32_t
#else
#define AMI_CODE_ENUM(name) enum name
#endif

#endif /* AMI_API_H */
