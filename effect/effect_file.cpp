#include "effect/effect_file.h"

#include <charconv>

#include "options/export_options.h"

namespace {

// printf's "%f" (six decimals, no exponent) without the locale: the decimal point is always '.'.
std::string Fixed6(float value) {
    char buffer[400];  // the largest float has 39 integer digits; a double's 309
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                      std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

const char* AddressWord(int32_t mode) {
    if (mode == 1) return "Wrap";
    if (mode == 2) return "Mirror";
    return "Clamp";
}

const XEffectTexture* FirstWithUsage(const std::vector<XEffectTexture>& textures, int32_t usage) {
    for (const XEffectTexture& texture : textures)
        if (texture.usage == usage) return &texture;
    return nullptr;
}

}  // namespace

void XEffectFile::Reset() {
    diffuse = AColor(1, 1, 1, 1);
    power = 0;
    specular = Color(1, 1, 1);
    emissive = Color(0, 0, 0);
    normal = tangent = bitangent = vertexColor = diffuseMapColor = 0;
    textures.clear();
}

void XEffectFile::AddTexture(int32_t usage, int32_t texCoordIndex, int32_t addressU,
                             int32_t addressV, const std::string& name) {
    if (name.empty()) return;
    textures.push_back({name, usage, texCoordIndex, addressU, addressV});
    texCoordSets.insert(texCoordIndex);
}

std::string XEffectFile::GenerateText(const ExportOptions& options) const {
    const XEffectTexture* diffuseMap = FirstWithUsage(textures, 1);
    const XEffectTexture* normalMap = options.NormalMapCode ? FirstWithUsage(textures, 2) : nullptr;
    const bool rightHand = options.RightHand != 0;

    std::string t;
    t.reserve(4096);

    // Declarations.
    t += "//TODO: Modify the folowing code: \n";
    t += "\nint GlobalParameter : SasGlobal \n< \n   int3 SasVersion = {1, 1, 0}; \n   string SasEffectDescription = \"This is a sample effect\"; \n";
    t += "   string SasEffectCompany = \"";
    t += kCompanyText;
    t += "\"; \n>; \n";
    t += "\nfloat4x4 World      : WORLD <string SasBindAddress = \"Sas.Skeleton.MeshToJointToWorld[0]\";>; \nfloat4x4 View       : VIEW <string SasBindAddress = \"Sas.Camera.WorldToView\";>; \nfloat4x4 Projection : PROJECTION <string SasBindAddress = \"Sas.Camera.Projection\";>; \n";
    if (emissive.r == 0 && emissive.g == 0 && emissive.b == 0)
        t += "\nbool bEmissiveColor = false; \n";
    else
        t += "\nbool bEmissiveColor = true; \n";
    t += "bool bLight = true; \n";
    t += "float3 lightDirection = ";
    t += rightHand ? "{ 0, 0, 1 }" : "{ 0, 0, -1 }";
    t += "; \n\n";
    t += "float4 DiffuseColor  = { " + Fixed6(diffuse.r) + "f, " + Fixed6(diffuse.g) + "f, " +
         Fixed6(diffuse.b) + "f, " + Fixed6(diffuse.a) + "f }; \n";
    t += "float  SpecularPower = " + Fixed6(power) + "f; \n";
    t += "float4 SpecularColor = { " + Fixed6(specular.r) + "f, " + Fixed6(specular.g) + "f, " +
         Fixed6(specular.b) + "f, " + Fixed6(diffuse.a) + "f }; \n";
    t += "float4 EmissiveColor = { " + Fixed6(emissive.r) + "f, " + Fixed6(emissive.g) + "f, " +
         Fixed6(emissive.b) + "f, " + Fixed6(diffuse.a) + "f }; \n\n";
    for (const XEffectTexture& texture : textures) t += "texture " + texture.name + "; \n";
    for (const XEffectTexture& texture : textures) {
        t += "\nsampler2D " + texture.name + "Sampler" + " = sampler_state  " + "// TexCoord" +
             std::to_string(texture.texCoordIndex) + " \n{ \n   Texture = <" + texture.name +
             ">; \n   MinFilter = Linear; \n   MagFilter = Linear; \n   MipFilter = Linear; \n   AddressU  = " +
             AddressWord(texture.addressU) + ";     \n   AddressV  = " + AddressWord(texture.addressV) +
             ";     \n}; \n";
    }

    std::string texCoordMembers;
    for (int32_t set : texCoordSets) {
        const std::string n = std::to_string(set);
        texCoordMembers += "   float2 TexCoord" + n + " : " + "TEXCOORD" + n + ";\n";
    }
    std::string vertexMembers;
    if (normal) vertexMembers += "   float3 N         : NORMAL;\n";
    if (tangent) vertexMembers += "   float3 T         : TANGENT;\n";
    if (bitangent) vertexMembers += "   float3 B         : BINORMAL;\n";
    if (vertexColor) vertexMembers += "   float4 VertexColor : COLOR0;\n";
    t += "\nstruct VS_INPUT \n{ \n   float4 Position  : POSITION; \n" + texCoordMembers + vertexMembers + "}; \n";

    std::string outputMembers = texCoordMembers;
    if (vertexColor) outputMembers += "   float4 VertexColor : COLOR0;\n";
    outputMembers += normalMap ? "   float3 LightTangentSpace : COLOR1;\n" : "   float LightStrength     : COLOR1;\n";
    t += "\nstruct VS_OUTPUT \n{ \n   float4 Position  : POSITION; \n" + outputMembers + "}; \n";

    // Vertex shader.
    std::string vs;
    if (vertexColor) vs += "   OUT.VertexColor = IN.VertexColor; \n";
    for (int32_t set : texCoordSets) {
        const std::string n = std::to_string(set);
        vs += "   OUT.TexCoord" + n + ".xy = IN.TexCoord" + n + ".xy; \n";
    }
    if (!normalMap) {
        vs += "   float3 WorldNormal = normalize( mul( IN.N, (float3x3)World ) );\n";
        vs += "   OUT.LightStrength =  max(0, dot( WorldNormal, lightDirection ));\n";
    } else {
        vs += "   float3x3 TBN = { IN.T, IN.B, IN.N };\n";
        vs += "   OUT.LightTangentSpace = mul( mul( TBN, (float3x3)World ), lightDirection );\n";
    }
    vs += "   return OUT;\n";
    t += "\nVS_OUTPUT VS( VS_INPUT IN ) \n{ \n   //TODO: Modify the folowing code: \n   VS_OUTPUT OUT;\t \n   float4 oPos = mul( mul( IN.Position, World ), View ); \n   OUT.Position = mul( oPos, Projection ); \n" + vs + "}; \n";

    // Pixel shader.
    std::string ps;
    if (diffuseMap) {
        ps += "   float4 color = tex2D( " + diffuseMap->name + "Sampler" + ", vout.TexCoord" +
              std::to_string(diffuseMap->texCoordIndex) + " ); \n";
        if (!normalMap) ps += "   color.rgb = color.rgb * vout.LightStrength; \n";
        if (diffuseMapColor) ps += "   color = color * DiffuseColor; \n";
    } else {
        ps += "   float4 color = DiffuseColor; \n";
        if (!normalMap) ps += "   color.rgb = DiffuseColor.rgb * vout.LightStrength; \n";
    }
    if (normalMap) {
        ps += "   if(bLight) \n";
        ps += "   { \n";
        ps += "     float3 bumpNormal =  2 * tex2D( " + normalMap->name + "Sampler" + ", vout.TexCoord" +
              std::to_string(normalMap->texCoordIndex) + " ) - 1 ;\n";
        if (rightHand) ps += "     bumpNormal.y = -bumpNormal.y;\n";
        ps += "     float3 LightVector1 = normalize(vout.LightTangentSpace);\n";
        ps += "     float bump = max(0, dot( bumpNormal, LightVector1 ));\n";
        ps += "     color.rgb = color.rgb * bump;\n";
        ps += "   } \n";
    }
    ps += "   if(bEmissiveColor)\n     color.rgb += EmissiveColor.rgb;\n";
    if (vertexColor)
        ps += "   color.rgb = vout.VertexColor.rgb * vout.VertexColor.a + color.rgb * ( 1.0f - vout.VertexColor.a );\n";
    ps += "   return  color; \n";
    t += "\nfloat4  PS( VS_OUTPUT vout ) : COLOR \n{ \n   //TODO: Modify the folowing code: \n" + ps + "}; \n";

    // Technique.
    t += "\ntechnique DefaultTechnique \n{ \n   pass p0 \n   { \n      VertexShader = compile vs_3_0  VS(); \n      PixelShader  = compile ps_3_0  PS(); \n   } \n} \n";
    return t;
}
